#pragma once

#include <string_view>

#include "platform/win32.h"

namespace orvane::testing {

// A UTF-16 literal as the platform's WCHAR text (char16_t under fwsim, wchar_t on Windows), so
// that the same test sources build for both.
inline WideString wide(std::u16string_view units) { return WideString(units.begin(), units.end()); }

}  // namespace orvane::testing
