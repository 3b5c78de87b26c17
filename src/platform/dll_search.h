#pragma once

#include "platform/win32.h"

namespace orvane::platform {

// Makes System32 the only folder searched for any DLL the process loads from now on by a bare
// name. Call it first in main, before anything that may load a DLL (COM does, from
// CoInitializeEx on).
//
// Why: the program runs elevated from a folder that users may be able to write to, and Windows
// searches a DLL that is not one of its known DLLs in the application's folder first (Microsoft
// docs, "Dynamic-link library search order"). The executable imports system DLLs only, but COM and
// the firewall's server load more later by bare name; under Wine, with Windows' search order, a
// uxtheme.dll beside the program is loaded during CoInitializeEx. The program ships no DLL of its
// own, so System32 alone is the right set (LOAD_LIBRARY_SEARCH_SYSTEM32, Microsoft docs,
// SetDefaultDllDirectories).
//
// The result is not examined, and nothing is written either way. SetDefaultDllDirectories exists
// on Windows 8 and later (Windows 7 only with KB2533623); the program imports it, so it does not
// start where the function is missing. Microsoft's documentation names no failure for a valid
// flag; the one failure known is ERROR_INVALID_PARAMETER for a value outside the documented
// LOAD_LIBRARY_SEARCH_* flags, which this one is not. So on Windows 10 and 11, the supported
// systems, it does not fail; were it to fail all the same, the search order would stay as it was
// before the call, which is no reason to leave the firewall's rules unmade.
inline void search_system32_only() { (void)SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

}  // namespace orvane::platform
