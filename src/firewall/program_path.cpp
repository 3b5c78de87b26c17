#include "firewall/program_path.h"

#include <cstring>

#include "platform/hresult_error.h"

namespace orvane::firewall {

namespace {

// Whether the text holds a `%`. Every rule's program is asked, so memchr looks through the bytes;
// a `%` byte that is half of another unit (U+2500, say) is no `%`, whatever the byte order.
bool holds_percent(WideView text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size() * sizeof(WideChar);
  for (std::size_t from = 0; from < size;) {
    const void* hit = std::memchr(bytes + from, '%', size - from);
    if (hit == nullptr) return false;
    const auto at = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes);
    if (text[at / sizeof(WideChar)] == WideChar{'%'}) return true;
    from = at + 1;
  }
  return false;
}

}  // namespace

std::expected<WideView, FirewallError> expand_program_path(WideView path, WideString& room) {
  if (!holds_percent(path)) return path;
  WideString& out = room;
  const WideString source(path);  // the call takes a null-terminated text
  out.resize(path.size() + 1);
  while (true) {
    // The size the result needs, its terminating null included; the result is written only when
    // it fits (Microsoft's ExpandEnvironmentStringsW reference).
    const DWORD needed =
        ExpandEnvironmentStringsW(source.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (needed == 0)
      return std::unexpected(WindowsError{platform::HresultError::from_last_error()});
    if (needed <= out.size()) {
      out.resize(needed - 1);
      return WideView(out);
    }
    out.resize(needed);
  }
}

}  // namespace orvane::firewall
