#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/owned_bstr.h"
#include "platform/win32.h"

namespace orvane::firewall {

// The firewall library's texts as the platform's BSTRs. These two end the program on failure,
// which is why they live with their one caller, the firewall library, and not with the owner.

// A BSTR holding a copy of `count` units at `units`; null for none. The program stops through the
// failure report when the count does not fit a BSTR's 32-bit length, or when the platform cannot
// allocate the string: no caller could do anything but stop.
platform::OwnedBstr from_wide(const WCHAR* units, std::size_t count);
inline platform::OwnedBstr from_wide(WideView units) {
  return from_wide(units.data(), units.size());
}

// The text as a BSTR, exactly: UTF-16, nothing trimmed or appended; null for the empty text.
// The first form reads the text where it stands (a record's field, a name the caller keeps);
// the second takes the text over and frees it once converted.
platform::OwnedBstr from_text(std::string_view text);
platform::OwnedBstr from_text(std::string&& text);

}  // namespace orvane::firewall
