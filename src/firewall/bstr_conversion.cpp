#include "firewall/bstr_conversion.h"

#include <cstdint>
#include <expected>
#include <source_location>

#include "report/expect.h"
#include "text/utf16.h"

namespace orvane::firewall {
namespace {

// The two stops below name this file and the line and column of the site.
constexpr report::SourceLocation here(std::source_location at = std::source_location::current()) {
  return {"src\\firewall\\bstr_conversion.cpp", at.line(), at.column()};
}

// A count that does not fit a BSTR's 32-bit length.
struct TryFromIntError {};

void detailed_form(const TryFromIntError&, std::string& out) { out += "TryFromIntError(())"; }

}  // namespace

platform::OwnedBstr from_wide(const WCHAR* units, std::size_t count) {
  if (count == 0) return {};
  if (count > UINT32_MAX) {
    report::expect_success(std::expected<void, TryFromIntError>(std::unexpect),
                           "called `Result::unwrap()` on an `Err` value", here());
  }
  platform::OwnedBstr bstr =
      platform::OwnedBstr::adopt(SysAllocStringLen(units, static_cast<UINT>(count)));
  // A string that came back empty is as unusable as none; it is freed while the stop unwinds.
  if (!bstr || SysStringLen(bstr.get()) == 0) report::raise_fatal(here(), "allocation failed");
  return bstr;
}

platform::OwnedBstr from_text(std::string_view text) { return from_wide(text::text_to_wide(text)); }

platform::OwnedBstr from_text(std::string&& text) {
  const std::string owned = std::move(text);
  return from_text(std::string_view(owned));
}

}  // namespace orvane::firewall
