// A real nginx on 127.0.0.1 for the tests and the benchmarks, at ports of its own choosing,
// speaking HTTP on one and HTTPS on the other. Everything it uses lives in a temporary folder
// of its own: the configuration, pid file, logs and temporary files, the documents it serves,
// and a private certificate authority with a server certificate for "localhost", made at
// start by the openssl command. The destructor stops it and removes the folder; and since the
// server is told to die with the thread that started it, a test process that is killed
// leaves no nginx running either.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace xkit::support {

class LocalNginx {
public:
  // The credentials that /private/ asks for (Basic).
  static constexpr std::string_view kUser = "xkit";
  static constexpr std::string_view kPassword = "p@ss word";

  // Makes the folder, the certificates and the configuration, starts nginx and waits until
  // both ports answer. Throws std::runtime_error with the tools' own words when something
  // is missing or fails (nginx and openssl come from scripts/install-deps.sh).
  LocalNginx();
  ~LocalNginx();
  LocalNginx(const LocalNginx&) = delete;
  LocalNginx& operator=(const LocalNginx&) = delete;

  // What it serves, besides the files written into Documents():
  //   /private/...     the same files, behind Basic credentials kUser and kPassword
  //   /to-https/NAME   302 to https://localhost:HTTPS-PORT/NAME
  //   /to-http/NAME    302 to http://localhost:HTTP-PORT/NAME
  // Anything else is 404 with nginx's error page.
  std::uint16_t HttpPort() const { return httpPort_; }
  std::uint16_t HttpsPort() const { return httpsPort_; }
  // "http://localhost:PORT" and "https://localhost:PORT", then the path.
  std::string HttpUrl(std::string_view path) const;
  std::string HttpsUrl(std::string_view path) const;

  // The folder whose files it serves at /, and the certificate of the authority that signed
  // the server's certificate (PEM), for the clients to trust.
  std::string Documents() const { return folder_ + "/www"; }
  std::string CaFile() const { return folder_ + "/ca.pem"; }

  // Writes a file to serve at /name.
  void WriteDocument(std::string_view name, std::string_view bytes) const;

private:
  void MakeCertificates() const;
  void WriteConfiguration() const;
  bool TryStart();
  void Stop();

  std::string folder_;
  std::uint16_t httpPort_ = 0;
  std::uint16_t httpsPort_ = 0;
  pid_t pid_ = -1;
};

}  // namespace xkit::support
