#pragma once

#include <expected>

#include "platform/win32.h"
#include "report/os_error.h"

namespace orvane::driver {

// The full path of the running executable, as GetModuleFileNameW reports it, however long.
std::expected<WideString, report::OsError> own_executable_path();

}  // namespace orvane::driver
