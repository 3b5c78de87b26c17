// The message tables behind FormatMessageW: the system's English table and ntdll's.
#pragma once

#include <optional>
#include <string_view>

#include "fwsim/win32.h"

namespace fwsim::detail {

// The system table's text for a Win32 error code or an HRESULT, ending in "\r\n" as Windows'
// texts do. An HRESULT of the Win32 facility (0x8007xxxx) has the text of its Win32 code.
std::optional<std::u16string_view> system_message_text(DWORD id);

// ntdll.dll's table: texts of native status codes (NTSTATUS).
std::optional<std::u16string_view> ntdll_message_text(DWORD id);

}  // namespace fwsim::detail
