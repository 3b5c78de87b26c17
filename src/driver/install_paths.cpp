#include "driver/install_paths.h"

#include <initializer_list>

#include "driver/own_path.h"
#include "driver/windows_path.h"
#include "report/expect.h"
#include "text/utf16.h"

namespace orvane::driver {
namespace {

std::string path_under(std::string_view directory, std::initializer_list<std::string_view> names) {
  std::string path;
  join_path(path, directory);
  for (std::string_view name : names) join_path(path, name);
  return path;
}

}  // namespace

std::optional<std::string> installation_directory(WideView own_path) {
  // Decoding first is safe: prefixes and separators are ASCII, which the lossy decoding keeps
  // exactly where they were, so the parent of the text is the text of the parent. A program
  // started through a \\?\ path is told its path in that form, which the firewall would refuse.
  const std::string path = ordinary_form(text::wide_to_text(own_path));
  const auto parent = parent_path(path);
  if (!parent) return std::nullopt;
  return std::string(*parent);
}

std::string installation_directory_or_exit(const report::SourceLocation& own_path_site,
                                           const report::SourceLocation& parent_site) {
  const WideString own_path = report::expect_success(
      own_executable_path(), "called `Result::unwrap()` on an `Err` value", own_path_site);
  return report::expect_present(installation_directory(own_path), "unable to find parent",
                                parent_site);
}

ApplicationPaths application_paths(std::string_view installation_directory) {
  return {
      .lobby = path_under(installation_directory, {"orvane-lobby.exe"}),
      .halvic = path_under(installation_directory, {"emulator", "halvic-orvane", "halvic.exe"}),
      .pendrel = path_under(installation_directory, {"emulator", "pendrel-orvane", "pendrel.exe"}),
  };
}

}  // namespace orvane::driver
