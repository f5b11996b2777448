// How the worker splits a URL into the server name and the object name.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "xHTTPGet/xHTTPGet.h"

namespace xkit {
namespace {

struct SplitCase {
  const char* url;
  const char* server;
  const char* object;
};

void PrintTo(const SplitCase& c, std::ostream* out) {
  *out << '"' << c.url << '"';
}

// The URL's letters and digits, as a test name ("empty" for none).
std::string CaseName(const ::testing::TestParamInfo<SplitCase>& info) {
  std::string name;
  for (const char* p = info.param.url; *p != '\0'; ++p) {
    if (std::isalnum(static_cast<unsigned char>(*p))) name.push_back(*p);
  }
  return (name.empty() ? "empty" : name) + "_" + std::to_string(info.index);
}

class SplitUrlTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitUrlTest, SplitsAtTheFirstSlashAfterTheScheme) {
  std::string server = "stale", object = "stale";
  THTTPGetThread::SplitUrl(GetParam().url, server, object);
  EXPECT_EQ(server, GetParam().server);
  EXPECT_EQ(object, GetParam().object);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitUrlTest,
    ::testing::Values(
        SplitCase{"http://example.com/a/b.html", "example.com", "/a/b.html"},
        SplitCase{"HTTP://Example.COM/Path/File", "Example.COM", "/Path/File"},  // case kept
        SplitCase{"hTtP://host/", "host", "/"},
        SplitCase{"example.com/x", "example.com", "/x"},     // no scheme: split as it stands
        SplitCase{"http://host:8080/x", "host:8080", "/x"},  // the port stays with the server
        SplitCase{"http://user:pw@host/x", "user:pw@host", "/x"},
        SplitCase{"http://host/p?q=1&r=/s#frag", "host", "/p?q=1&r=/s#frag"},
        SplitCase{"http://host/%41 b", "host", "/%41 b"},  // nothing decoded or escaped
        SplitCase{"https://host/x", "host", "/x"},
        SplitCase{"HTTPS://u:p@host:8443", "u:p@host:8443", "/"},
        SplitCase{"ftp://host/x", "ftp:", "//host/x"},  // no other scheme is known
        SplitCase{"http://host", "host", "/"},          // nothing after the server: the object "/"
        SplitCase{"http://", "", "/"}, SplitCase{"", "", "/"}, SplitCase{"http:/x", "http:", "/x"}),
    CaseName);

}  // namespace
}  // namespace xkit
