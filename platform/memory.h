// Hints about how the process uses its memory.
#pragma once

#include <cstddef>

namespace xkit::detail {

// Asks the system to back a large buffer that is about to be filled front to back with huge
// pages where it can: a 256 MiB body then costs a few hundred page faults instead of 65536.
// Only the 2 MiB-aligned part of the range is affected; a no-op where unsupported.
void AdviseHugePages(void* data, std::size_t size);

}  // namespace xkit::detail
