// HTTP: fetch a URL into memory with THTTPGet while the main thread runs the message loop.
#include <cstdint>
#include <iostream>
#include <string>

#include "platform/application.h"
#include "xHTTPGet/xHTTPGet.h"

int main(int argc, char** argv) {
  using namespace xkit;
  THTTPGet get(nullptr);
  get.URL = argc > 1 ? argv[1] : "https://localhost:8443/";
  if (argc > 2) get.CAFile = argv[2];  // a private authority, trusted beside the system's
  bool ok = false;
  // Every event runs on the main thread, inside Application.Run below.
  get.OnProgress = [](TObject*, std::int64_t total, std::int64_t received) {
    std::cerr << "\r" << received << " of " << total << " bytes";
  };
  get.OnDoneString = [&](TObject*, const std::string& body) {
    std::cout << body;
    ok = true;
    Application.Terminate();
  };
  get.OnError = [&](TObject*) {
    std::cerr << "\n" << get.ErrorMessage() << "\n";  // "Connection refused by ...", "Cancelled"
    Application.Terminate();
  };

  get.StartStringFetch();  // returns at once: a worker thread does the fetch
  Application.Run();       // dispatches the events until Terminate
  std::cerr << "\nstatus " << get.StatusCode() << (ok ? ", done\n" : ", the fetch failed\n");
  return ok ? 0 : 1;
}
