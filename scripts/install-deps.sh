#!/usr/bin/env bash
# Installs, as root with apt-get, whatever this Debian machine lacks to build and test xkit.
# Packages already present are left alone; nothing is done when all are there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libbenchmark-dev          # tests and benchmarks
  libgmp-dev libssl-dev                  # test oracles, benchmark peers, the program's PEM keys
  valgrind                               # the constant-time check (Memcheck, memcheck.h)
  libcurl4-openssl-dev                   # the HTTP client under the fetch component
  ca-certificates                        # the system's trusted authorities for HTTPS
  nginx-light openssl                    # the real server and the test certificates of the HTTP tests;
                                         # the RSA key-exchange tests run openssl too
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
# No package may start a service meanwhile (nginx's would listen on port 80): the tests start
# their own servers. Debian asks policy-rc.d before starting one; an existing policy stays.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod +x "$policy"
  trap 'rm -f "$policy"' EXIT
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
