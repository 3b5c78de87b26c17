#include "platform/owned_bstr.h"

#include <cstdint>
#include <expected>
#include <source_location>

#include "platform/utf16.h"
#include "report/expect.h"

namespace orvane::platform {
namespace {

// The two stops below name this file and the line and column of the site.
constexpr report::SourceLocation here(std::source_location at = std::source_location::current()) {
  return {"src\\platform\\owned_bstr.cpp", at.line(), at.column()};
}

// A count that does not fit a BSTR's 32-bit length.
struct TryFromIntError {};

void detailed_form(const TryFromIntError&, std::string& out) { out += "TryFromIntError(())"; }

}  // namespace

OwnedBstr from_wide(const WCHAR* units, std::size_t count) {
  if (count == 0) return {};
  if (count > UINT32_MAX) {
    report::expect_success(std::expected<void, TryFromIntError>(std::unexpect),
                           "called `Result::unwrap()` on an `Err` value", here());
  }
  OwnedBstr bstr = OwnedBstr::adopt(SysAllocStringLen(units, static_cast<UINT>(count)));
  // A string that came back empty is as unusable as none; it is freed while the stop unwinds.
  if (!bstr || SysStringLen(bstr.get()) == 0) report::raise_fatal(here(), "allocation failed");
  return bstr;
}

OwnedBstr from_text(std::string_view text) { return from_wide(text_to_wide(text)); }

OwnedBstr from_text(std::string&& text) {
  const std::string owned = std::move(text);
  return from_text(std::string_view(owned));
}

}  // namespace orvane::platform
