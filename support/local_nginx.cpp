// The local nginx: its folder, certificates and configuration, and the child process.
#include "support/local_nginx.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace xkit::support {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("local nginx: cannot write " + path);
}

// A program on PATH, or in the system folders that a user's PATH may lack (nginx is in
// /usr/sbin); empty when there is none.
std::string FindProgram(const std::string& name) {
  std::string folders = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  folders += ":/usr/sbin:/sbin:/usr/bin:/bin";
  std::istringstream list(folders);
  for (std::string folder; std::getline(list, folder, ':');) {
    if (folder.empty()) continue;
    const std::string path = folder + "/" + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return "";
}

// Starts `program` with `args`, its standard output and error going to `log`. With
// dieWithParent the child is killed when the thread that started it ends, however it ends.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& log, bool dieWithParent) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("local nginx: fork: ") + std::strerror(errno));
  if (pid == 0) {
    // Only async-signal-safe calls until exec: the parent may have other threads.
    if (dieWithParent && (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)) _exit(127);
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0 || devNull < 0 || dup2(devNull, 0) < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) {
      _exit(127);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Runs a command to its end; throws with what it wrote when it fails.
void Run(const std::string& program, const std::vector<std::string>& args, const std::string& log) {
  const std::string path = FindProgram(program);
  if (path.empty()) {
    throw std::runtime_error("local nginx: " + program +
                             " not found (scripts/install-deps.sh installs it)");
  }
  const pid_t pid = Spawn(path, args, log, false);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("local nginx: " + program + " failed:\n" + Contents(log));
  }
}

// A port that nothing listens on right now. Another process may take it before nginx does;
// the start then fails and is tried again with other ports.
std::uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (fd >= 0) close(fd);
  if (!ok)
    throw std::runtime_error(std::string("local nginx: no free port: ") + std::strerror(errno));
  return ntohs(address.sin_port);
}

bool Accepts(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

LocalNginx::LocalNginx() {
  const char* temp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") + "/xkit-nginx-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("local nginx: cannot make a folder: " +
                             std::string(std::strerror(errno)));
  }
  folder_ = pattern;
  try {
    fs::create_directories(folder_ + "/www");
    fs::create_directories(folder_ + "/tmp");
    MakeCertificates();
    for (int attempt = 0; pid_ < 0; ++attempt) {
      if (attempt == 5) {
        throw std::runtime_error("local nginx: it would not start:\n" +
                                 Contents(folder_ + "/error.log") +
                                 Contents(folder_ + "/nginx.out"));
      }
      httpPort_ = FreePort();
      do {
        httpsPort_ = FreePort();
      } while (httpsPort_ == httpPort_);
      WriteConfiguration();
      TryStart();
    }
  } catch (...) {
    Stop();
    throw;
  }
}

LocalNginx::~LocalNginx() {
  Stop();
}

std::string LocalNginx::HttpUrl(std::string_view path) const {
  return "http://localhost:" + std::to_string(httpPort_) + std::string(path);
}

std::string LocalNginx::HttpsUrl(std::string_view path) const {
  return "https://localhost:" + std::to_string(httpsPort_) + std::string(path);
}

void LocalNginx::WriteDocument(std::string_view name, std::string_view bytes) const {
  const fs::path path = fs::path(Documents()) / name;
  fs::create_directories(path.parent_path());
  WriteFile(path.string(), bytes);
}

void LocalNginx::MakeCertificates() const {
  const std::string log = folder_ + "/openssl.log";
  const std::string dir = folder_ + "/";
  // P-256 keys: made in milliseconds, unlike RSA ones.
  const std::vector<std::string> newKey = {"-newkey", "ec", "-pkeyopt",
                                           "ec_paramgen_curve:prime256v1", "-nodes"};
  std::vector<std::string> ca = {"req", "-x509"};
  ca.insert(ca.end(), newKey.begin(), newKey.end());
  ca.insert(ca.end(), {"-keyout", dir + "ca.key", "-out", dir + "ca.pem", "-days", "2", "-subj",
                       "/CN=xkit test authority", "-addext", "basicConstraints=critical,CA:TRUE",
                       "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
  Run("openssl", ca, log);
  std::vector<std::string> request = {"req"};
  request.insert(request.end(), newKey.begin(), newKey.end());
  request.insert(request.end(), {"-keyout", dir + "server.key", "-out", dir + "server.csr", "-subj",
                                 "/CN=localhost"});
  Run("openssl", request, log);
  WriteFile(dir + "server.ext",
            "basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost\n"
            "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n");
  Run("openssl",
      {"x509", "-req", "-in", dir + "server.csr", "-CA", dir + "ca.pem", "-CAkey", dir + "ca.key",
       "-CAcreateserial", "-out", dir + "server.pem", "-days", "2", "-extfile", dir + "server.ext"},
      log);
  const std::string hashLog = folder_ + "/passwd.out";
  Run("openssl", {"passwd", "-apr1", std::string(kPassword)}, hashLog);
  std::string hash = Contents(hashLog);
  while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r'))
    hash.pop_back();
  WriteFile(dir + "htpasswd", std::string(kUser) + ":" + hash + "\n");
}

void LocalNginx::WriteConfiguration() const {
  const std::string& d = folder_;
  const std::string http = std::to_string(httpPort_);
  const std::string https = std::to_string(httpsPort_);
  // One process, in the foreground, as whoever runs the tests: no root-only path is touched.
  WriteFile(d + "/nginx.conf",
            "daemon off;\n"
            "master_process off;\n"
            "worker_processes 1;\n"
            "pid " +
                d +
                "/nginx.pid;\n"
                "error_log " +
                d +
                "/error.log warn;\n"
                "events { worker_connections 256; }\n"
                "http {\n"
                "  access_log off;\n"
                "  server_tokens off;\n"
                "  client_body_temp_path " +
                d +
                "/tmp/body;\n"
                "  proxy_temp_path " +
                d +
                "/tmp/proxy;\n"
                "  fastcgi_temp_path " +
                d +
                "/tmp/fastcgi;\n"
                "  uwsgi_temp_path " +
                d +
                "/tmp/uwsgi;\n"
                "  scgi_temp_path " +
                d +
                "/tmp/scgi;\n"
                "  types { }\n"
                "  default_type application/octet-stream;\n"
                "  sendfile on;\n"
                "  ssl_certificate " +
                d +
                "/server.pem;\n"
                "  ssl_certificate_key " +
                d +
                "/server.key;\n"
                "  server {\n"
                "    listen 127.0.0.1:" +
                http +
                ";\n"
                "    listen 127.0.0.1:" +
                https +
                " ssl;\n"
                "    root " +
                d +
                "/www;\n"
                "    location /private/ {\n"
                "      auth_basic \"xkit\";\n"
                "      auth_basic_user_file " +
                d +
                "/htpasswd;\n"
                "      alias " +
                d +
                "/www/;\n"
                "    }\n"
                "    location ~ ^/to-https/(.*)$ { return 302 https://localhost:" +
                https +
                "/$1; }\n"
                "    location ~ ^/to-http/(.*)$ { return 302 http://localhost:" +
                http +
                "/$1; }\n"
                "  }\n"
                "}\n");
}

bool LocalNginx::TryStart() {
  const std::string nginx = FindProgram("nginx");
  if (nginx.empty()) {
    throw std::runtime_error("local nginx: nginx not found (scripts/install-deps.sh installs it)");
  }
  pid_ = Spawn(nginx, {"-p", folder_, "-c", folder_ + "/nginx.conf", "-e", folder_ + "/error.log"},
               folder_ + "/nginx.out", true);
  const Clock::time_point limit = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < limit) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {  // it ended: a port was taken, most likely
      pid_ = -1;
      return false;
    }
    if (Accepts(httpPort_) && Accepts(httpsPort_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Stop();
  throw std::runtime_error("local nginx: no answer within 20 s");
}

void LocalNginx::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(5);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() >= limit) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    pid_ = -1;
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
}

}  // namespace xkit::support
