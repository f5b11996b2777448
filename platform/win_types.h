// The scalar types of the Windows-shaped interfaces (messages, the HTTP client), with the
// widths those interfaces give them.
#pragma once

#include <cstdint>

namespace xkit {

using BOOL = int;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HWND = void*;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;

}  // namespace xkit
