#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32.h"
#include "report/source_location.h"

namespace orvane::driver {

// The folder that holds the executable at `own_path`, as UTF-8 (an unpaired surrogate in the path
// becomes U+FFFD), in its ordinary form when `own_path` is a verbatim path of a drive or a share;
// none when the path has no parent.
std::optional<std::string> installation_directory(WideView own_path);

// The installation directory of the running program, from its own executable's path. A failure
// ends the program with its report: at `own_path_site` when that path cannot be had, at
// `parent_site` when it has no parent.
std::string installation_directory_or_exit(const report::SourceLocation& own_path_site,
                                           const report::SourceLocation& parent_site);

// The three applications the rules are for, under the installation directory.
struct ApplicationPaths {
  std::string lobby;    // <dir>\orvane-lobby.exe
  std::string halvic;   // <dir>\emulator\halvic-orvane\halvic.exe
  std::string pendrel;  // <dir>\emulator\pendrel-orvane\pendrel.exe
};
ApplicationPaths application_paths(std::string_view installation_directory);

}  // namespace orvane::driver
