// kernel32: ExpandEnvironmentStringsW over the process's environment.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "controls.h"
#include "faults.h"
#include "text.h"
#include "trace.h"

extern char** environ;

namespace {

char16_t ascii_upper(char16_t unit) { return unit >= u'a' && unit <= u'z' ? unit - 32 : unit; }

// The value of the environment's variable of this name, names compared without ASCII letter case
// as Windows compares them; of several such variables (possible on Linux), the first. Letters
// beyond ASCII are compared exactly: environment names are ASCII in practice.
std::optional<std::u16string> variable(std::u16string_view name) {
  if (name.empty()) return std::nullopt;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text = *entry;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    const std::u16string candidate = fwsim::detail::utf8_to_utf16(text.substr(0, equals));
    if (std::ranges::equal(candidate, name, {}, ascii_upper, ascii_upper)) {
      return fwsim::detail::utf8_to_utf16(text.substr(equals + 1));
    }
  }
  return std::nullopt;
}

// Each `%NAME%` of a variable replaced by its value. A `%NAME%` without a variable stays as
// written, and the next name is looked for after it; a `%` with no other after it stays too (as
// Wine 8 does, measured: `%NONE%PATH%` stays whole).
std::u16string expand(std::u16string_view source) {
  std::u16string out;
  std::size_t i = 0;
  while (i < source.size()) {
    const std::size_t open = std::min(source.find(u'%', i), source.size());
    out.append(source.substr(i, open - i));
    if (open == source.size()) break;
    const std::size_t close = source.find(u'%', open + 1);
    if (close == std::u16string_view::npos) {
      out.append(source.substr(open));
      break;
    }
    if (auto value = variable(source.substr(open + 1, close - open - 1))) {
      out += *value;
    } else {
      out.append(source.substr(open, close + 1 - open));
    }
    i = close + 1;
  }
  return out;
}

}  // namespace

using namespace fwsim::detail;

// Returns the size the result needs, in UTF-16 units with its terminating null, and writes the
// result only when `size` holds all of it (Microsoft's ExpandEnvironmentStringsW documentation).
// A null source fails with ERROR_INVALID_PARAMETER, which nothing documents.
DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size) {
  start();
  const std::u16string_view text = source ? std::u16string_view(source) : u"";
  DWORD result = 0;
  if (const auto fault = take_fault("ExpandEnvironmentStringsW")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (source == nullptr) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else {
    const std::u16string expanded = expand(text);
    result = static_cast<DWORD>(expanded.size() + 1);
    if (destination != nullptr && size >= result) {
      std::ranges::copy(expanded, destination);
      destination[expanded.size()] = u'\0';
    }
  }
  trace("ExpandEnvironmentStringsW",
        (source ? text_form(text) : "null") + " " + std::to_string(size), std::to_string(result));
  return result;
}
