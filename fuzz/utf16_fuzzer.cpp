// Text conversions: UTF-8 to UTF-16 (what every BSTR the program makes goes through) and the lossy
// UTF-16 to UTF-8 decoding of platform texts, each against the plain reference codecs; valid text
// survives a round trip exactly. The input is read both as UTF-8 bytes and as UTF-16 units.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "reference_unicode.h"
#include "text/utf16.h"

namespace {

using namespace orvane::fuzz;

std::u16string_view as_units(const orvane::WideString& wide) {
  return {reinterpret_cast<const char16_t*>(wide.data()), wide.size()};
}

bool trimmed_unit(char16_t u) {
  return u == 9 || u == 10 || u == 11 || u == 12 || u == 13 || u == 32;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // As UTF-8: exact for valid text, one U+FFFD per maximal invalid subpart otherwise.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  bool valid = false;
  const std::u32string code_points = decode_utf8(text, /*surrogates=*/false, &valid);
  const orvane::WideString wide = orvane::text::text_to_wide(text);
  check(as_units(wide) == encode_utf16(code_points), "text_to_wide differs from the reference");
  if (valid) {
    check(orvane::text::wide_to_text(wide) == text, "valid UTF-8 does not survive a round trip");
  }

  // As UTF-16 units: lossy only for unpaired surrogates.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  const orvane::WideView view(reinterpret_cast<const orvane::WideChar*>(units.data()),
                              units.size());
  bool paired = false;
  const std::u32string decoded = decode_utf16(units, &paired);
  const std::string narrow = orvane::text::wide_to_text(view);
  check(narrow == encode_utf8(decoded), "wide_to_text differs from the reference");
  if (paired) {
    check(as_units(orvane::text::text_to_wide(narrow)) == units,
          "paired UTF-16 does not survive a round trip");
  }

  // Trailing white space: exactly the units 9 to 13 and 32 at the end go.
  const orvane::WideView trimmed = orvane::text::trim_trailing_white_space(view);
  std::size_t keep = units.size();
  while (keep > 0 && trimmed_unit(units[keep - 1])) --keep;
  check(trimmed.data() == view.data() && trimmed.size() == keep,
        "trim_trailing_white_space differs from the reference");
  return 0;
}
