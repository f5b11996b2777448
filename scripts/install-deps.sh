#!/usr/bin/env bash
# Installs, as root with apt-get, whatever this Debian machine lacks to build and test xkit.
# Packages already present are left alone; nothing is done when all are there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libbenchmark-dev          # tests and benchmarks
  libgmp-dev libssl-dev                  # test oracles and benchmark peers only
  valgrind                               # the constant-time check (Memcheck, memcheck.h)
  libcurl4-openssl-dev                   # the HTTP client under the fetch component
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
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
