#pragma once

#include <string>

#include "platform/win32.h"
#include "text/quote.h"
#include "text/utf16.h"

namespace orvane::testing {

// System texts belong to the platform and its language (Wine words them differently from
// Windows), so the portable tests compare with what the platform itself answers, looked up the
// plain way; the tests under fwsim pin the exact English texts.
struct PlatformText {
  WideString raw;       // as FormatMessageW wrote it
  std::string trimmed;  // without trailing white space, as UTF-8
};

// The text FormatMessageW writes into a buffer of ours for `id`, from `module`'s table or the
// system's, and the same text with its trailing white space dropped here by hand.
inline PlatformText platform_text(DWORD id, HMODULE module = nullptr) {
  WCHAR buffer[1024];
  const DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS |
                      (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length = FormatMessageW(flags, module, id, 0, buffer, 1024, nullptr);
  PlatformText text{WideString(buffer, length), {}};
  WideView kept(text.raw);
  while (!kept.empty() && (kept.back() == u' ' || (kept.back() >= 9 && kept.back() <= 13))) {
    kept.remove_suffix(1);
  }
  text.trimmed = text::wide_to_text(kept);
  return text;
}

// A text as a detailed form quotes it.
inline std::string quoted(const std::string& text) {
  std::string out;
  text::quote_text(text, out);
  return out;
}

}  // namespace orvane::testing
