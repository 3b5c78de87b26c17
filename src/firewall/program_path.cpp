#include "firewall/program_path.h"

#include "platform/hresult_error.h"

namespace orvane::firewall {

std::expected<void, FirewallError> expand_program_path(WideView path, WideString& out) {
  if (path.find(WideChar{'%'}) == WideView::npos) {
    out.assign(path);
    return {};
  }
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
      return {};
    }
    out.resize(needed);
  }
}

}  // namespace orvane::firewall
