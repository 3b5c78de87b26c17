#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane::driver {

// Windows path rules on UTF-8 text (prefixes and separators are ASCII, so they hold for any text
// decoded from UTF-16). Prefixes: drive (C:), UNC (\\server\share), verbatim (\\?\..., \\?\UNC\...,
// \\?\C:) and device (\\.\name). Separators are \ and /, except after a verbatim prefix (\ only).

// The ordinary form of a verbatim path of a drive or a share, as Windows' own path functions give
// it (PathCchStripPrefix): \\?\C:\x becomes C:\x, \\?\C: becomes C:, and \\?\UNC\srv\share\x
// becomes
// \\srv\share\x, the prefix's letters in any case. Windows' firewall refuses an application path
// holding "?", so a verbatim path can name no rule. Every other path, the other verbatim and
// device forms among them, comes back as it is.
std::string ordinary_form(std::string_view path);

// The path without its last component (a name, "." or ".."), with the separators before it
// removed but a root separator kept: C:\Games\setup.exe -> C:\Games, C:\setup.exe -> C:\.
// None when the path has no such component (empty, or only a prefix and/or a root).
std::optional<std::string_view> parent_path(std::string_view path);

// Joins `component` onto `path` in place: onto an empty path it is taken as it is; a relative name
// follows one "\" unless the path ends in a separator or is a bare drive (C:); onto a verbatim path
// the whole is written anew with single "\" separators; a component with a prefix of its own
// replaces the path, and one starting with a separator replaces all after the path's prefix.
void join_path(std::string& path, std::string_view component);

}  // namespace orvane::driver
