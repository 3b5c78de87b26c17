#pragma once

#include <string>
#include <string_view>

namespace orvane {

// A UTF-16 code unit as the platform's wide functions take it: wchar_t on Windows, char16_t where
// fwsim stands in for Windows. The platform header checks that this is its WCHAR.
#if defined(_WIN32)
using WideChar = wchar_t;
#else
using WideChar = char16_t;
#endif

// UTF-16 text as the platform's wide functions take it.
using WideString = std::basic_string<WideChar>;
using WideView = std::basic_string_view<WideChar>;

}  // namespace orvane
