// `xkit demo`: a tour of every facility on built-in data. Each facility contributes one
// section that prints what it does and checks its own result.
#pragma once

#include <ostream>
#include <string_view>

namespace xkit::demo {

struct Section {
  std::string_view title;
  bool (*run)(std::ostream& out);  // false when the section's own check failed
};

// The sections, one per facility (app/demo_<facility>.cpp).
bool DemoBig(std::ostream& out);
bool DemoDigests(std::ostream& out);
bool DemoCipher(std::ostream& out);
bool DemoRsa(std::ostream& out);
bool DemoHttp(std::ostream& out);

}  // namespace xkit::demo
