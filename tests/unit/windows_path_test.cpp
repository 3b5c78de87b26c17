#include "driver/windows_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::driver {
namespace {

struct ParentCase {
  std::string_view path;
  std::optional<std::string_view> parent;
};

// One row per prefix kind and per separator quirk; the parent is compared byte for byte.
const std::vector<ParentCase> kParentCases = {
    // No parent: empty, only a prefix, only a root, or both.
    {"", std::nullopt},
    {"C:", std::nullopt},
    {"C:\\", std::nullopt},
    {"c:/", std::nullopt},
    {"\\", std::nullopt},
    {"/", std::nullopt},
    {"\\\\server\\share", std::nullopt},
    {"\\\\server\\share\\", std::nullopt},
    {"//server/share", std::nullopt},
    {"\\\\?\\C:", std::nullopt},
    {"\\\\?\\C:\\", std::nullopt},
    {"\\\\?\\UNC\\server\\share", std::nullopt},
    {"\\\\?\\UNC\\server\\share\\", std::nullopt},
    {"\\\\?\\volume{1}", std::nullopt},
    {"\\\\.\\device", std::nullopt},
    {"C:.", std::nullopt},  // a "." after a drive is no component
    // Drive paths.
    {"C:\\Games\\Orvane\\setup.exe", "C:\\Games\\Orvane"},
    {"C:\\setup.exe", "C:\\"},
    {"C:/Games/setup.exe", "C:/Games"},
    {"C:\\Games\\\\setup.exe", "C:\\Games"},
    {"C:\\Games\\Orvane\\", "C:\\Games"},
    {"C:\\Games\\Orvane\\\\", "C:\\Games"},
    {"C:\\\\setup.exe", "C:\\"},
    {"C:foo", "C:"},
    {"C:foo\\bar", "C:foo"},
    {"C:.\\foo", "C:."},
    {"C:\\a\\.\\b", "C:\\a"},  // a "." inside a path is skipped with the separators
    {"C:\\a\\..", "C:\\a"},
    {"C:\\..", "C:\\"},
    {"z:\\x", "z:\\"},
    {"1:\\x", "1:"},  // not a drive letter: relative "1:" then a name
    // UNC, with either separator.
    {"\\\\server\\share\\x.exe", "\\\\server\\share\\"},
    {"\\\\server\\share\\dir\\x.exe", "\\\\server\\share\\dir"},
    {"//server/share/dir/x.exe", "//server/share/dir"},
    {"\\\\server/share\\x", "\\\\server/share\\"},
    {"\\\\server", "\\"},  // no share: a root then a name
    {"\\\\server\\", "\\"},
    // Verbatim forms: only "\" separates, and "." stays a component.
    {"\\\\?\\C:\\x\\y.exe", "\\\\?\\C:\\x"},
    {"\\\\?\\C:\\y.exe", "\\\\?\\C:\\"},
    {"\\\\?\\C:\\x\\.", "\\\\?\\C:\\x"},
    {"\\\\?\\C:\\x\\..", "\\\\?\\C:\\x"},
    {"\\\\?\\C:\\x/y", "\\\\?\\C:\\"},
    {"\\\\?\\C:x", std::nullopt},  // not exactly a drive: all of it is a verbatim prefix
    {"\\\\?\\C:x\\y", "\\\\?\\C:x\\"},
    {"\\\\?\\UNC\\server\\share\\x", "\\\\?\\UNC\\server\\share\\"},
    {"\\\\?\\UNC\\server\\share\\d\\x", "\\\\?\\UNC\\server\\share\\d"},
    {"\\\\?\\volume{1}\\x\\y", "\\\\?\\volume{1}\\x"},
    {"\\\\?\\volume{1}\\x", "\\\\?\\volume{1}\\"},
    // "//?/" is not verbatim: a UNC share named "x" on server "?".
    {"//?/x/y/z", "//?/x/y"},
    // Device paths: an implied root, either separator.
    {"\\\\.\\device\\dir\\x", "\\\\.\\device\\dir"},
    {"\\\\.\\device\\x", "\\\\.\\device\\"},
    {"//./device/x", "//./device/"},
    // Relative and rooted paths without a prefix.
    {"foo", ""},
    {".", ""},
    {"..", ""},
    {"./", ""},
    {"./foo", "."},
    {"foo/./", ""},
    {"a/b", "a"},
    {"a\\..", "a"},
    {"\\Games\\x", "\\Games"},
    {"\\x", "\\"},
    // Text outside ASCII is carried as it is.
    {"C:\\Spi\xC3\xABle\\\xE6\x97\xA5\xE6\x9C\xAC\\x.exe",
     "C:\\Spi\xC3\xABle\\\xE6\x97\xA5\xE6\x9C\xAC"},
    {"C:\\Orv\xEF\xBF\xBDne\\x.exe", "C:\\Orv\xEF\xBF\xBDne"},
};

TEST(ParentPath, TakesTheLastComponentOff) {
  for (const ParentCase& c : kParentCases) {
    EXPECT_EQ(parent_path(c.path), c.parent) << "path: " << c.path;
  }
}

TEST(ParentPath, ReturnsAViewIntoThePath) {
  const std::string path = "C:\\Games\\Orvane\\setup.exe";
  const auto parent = parent_path(path);
  ASSERT_TRUE(parent.has_value());
  EXPECT_EQ(parent->data(), path.data());
}

struct JoinCase {
  std::string_view path;
  std::string_view component;
  std::string_view joined;
};

const std::vector<JoinCase> kJoinCases = {
    // Onto an empty path the component is taken as it is, whatever it is.
    {"", "C:\\Games\\Orvane", "C:\\Games\\Orvane"},
    {"", "\\\\?\\C:\\x/./y", "\\\\?\\C:\\x/./y"},
    {"", "a//b", "a//b"},
    {"", "", ""},
    // Plain names: one "\" between, none after a separator or a bare drive.
    {"C:\\Games", "x.exe", "C:\\Games\\x.exe"},
    {"C:\\Games\\", "x.exe", "C:\\Games\\x.exe"},
    {"C:/Games/", "x.exe", "C:/Games/x.exe"},
    {"C:\\", "x.exe", "C:\\x.exe"},
    {"C:", "x.exe", "C:x.exe"},
    {"c:", "x.exe", "c:x.exe"},
    {"C:foo", "x.exe", "C:foo\\x.exe"},
    {"\\\\server\\share", "x.exe", "\\\\server\\share\\x.exe"},
    {"\\\\server\\share\\", "x.exe", "\\\\server\\share\\x.exe"},
    {"//server/share", "x.exe", "//server/share\\x.exe"},
    {"\\\\.\\device", "x", "\\\\.\\device\\x"},
    {"\\\\.\\device\\dir", "x", "\\\\.\\device\\dir\\x"},
    {"foo", "bar", "foo\\bar"},
    {"C:\\a\\.", "x", "C:\\a\\.\\x"},
    {"C:\\Games", "a/b", "C:\\Games\\a/b"},  // outside verbatim paths nothing is rewritten
    {"C:\\Games", "", "C:\\Games\\"},
    // A component with a prefix of its own replaces the path.
    {"C:\\Games", "D:\\x", "D:\\x"},
    {"C:\\Games", "D:x", "D:x"},
    {"C:\\Games", "\\\\server\\share\\x", "\\\\server\\share\\x"},
    {"C:\\Games", "\\\\?\\C:\\x", "\\\\?\\C:\\x"},
    {"C:\\Games", "\\\\.\\device", "\\\\.\\device"},
    {"\\\\?\\C:\\Games", "D:\\x", "D:\\x"},
    // A component with a root but no prefix keeps only the path's prefix.
    {"C:\\Games", "\\x", "C:\\x"},
    {"C:\\Games", "/x", "C:/x"},
    {"\\\\server\\share\\dir", "\\x", "\\\\server\\share\\x"},
    {"\\\\.\\device\\dir", "\\x", "\\\\.\\device\\x"},
    {"foo", "\\x", "\\x"},
    // Verbatim paths are written anew with single backslashes.
    {"\\\\?\\C:\\Games", "x.exe", "\\\\?\\C:\\Games\\x.exe"},
    {"\\\\?\\C:\\Games\\", "x.exe", "\\\\?\\C:\\Games\\x.exe"},
    {"\\\\?\\C:\\Games\\\\Orvane", "x.exe", "\\\\?\\C:\\Games\\Orvane\\x.exe"},
    {"\\\\?\\C:\\", "x.exe", "\\\\?\\C:\\x.exe"},
    {"\\\\?\\C:", "x.exe", "\\\\?\\C:\\x.exe"},
    {"\\\\?\\C:\\a\\.\\..\\b", "x", "\\\\?\\C:\\a\\.\\..\\b\\x"},  // the path's own dots stay
    {"\\\\?\\C:\\a\\b", "../x", "\\\\?\\C:\\a\\x"},
    {"\\\\?\\C:\\a\\b", "./x/.", "\\\\?\\C:\\a\\b\\x"},
    {"\\\\?\\C:\\a\\b", "x/y", "\\\\?\\C:\\a\\b\\x\\y"},
    {"\\\\?\\C:\\a\\b", "x//y/", "\\\\?\\C:\\a\\b\\x\\y"},
    {"\\\\?\\C:\\", "..", "\\\\?\\C:\\"},  // ".." pops only a name
    {"\\\\?\\C:\\a\\..", "..", "\\\\?\\C:\\a\\.."},
    {"\\\\?\\C:\\a\\b", "\\x", "\\\\?\\C:\\x"},
    {"\\\\?\\C:\\a", "", "\\\\?\\C:\\a\\"},
    {"\\\\?\\UNC\\server\\share", "x", "\\\\?\\UNC\\server\\share\\x"},
    {"\\\\?\\UNC\\server\\share\\x", "y.exe", "\\\\?\\UNC\\server\\share\\x\\y.exe"},
    {"\\\\?\\volume{1}", "x", "\\\\?\\volume{1}\\x"},
    {"\\\\?\\volume{1}\\d", "x", "\\\\?\\volume{1}\\d\\x"},
};

TEST(JoinPath, AppendsReplacesOrRebuilds) {
  for (const JoinCase& c : kJoinCases) {
    std::string path(c.path);
    join_path(path, c.component);
    EXPECT_EQ(path, c.joined) << "path: " << c.path << ", component: " << c.component;
  }
}

// The installation directory as the program forms the three application paths from it: joined
// onto an empty path, then each fixed name in turn.
std::string application_path(std::string_view directory, std::vector<std::string_view> names) {
  std::string path;
  join_path(path, directory);
  for (std::string_view name : names) join_path(path, name);
  return path;
}

struct InstallCase {
  std::string_view directory;
  std::string_view lobby;
  std::string_view halvic;
  std::string_view pendrel;
};

const std::vector<InstallCase> kInstallCases = {
    {"C:\\Games\\Orvane", "C:\\Games\\Orvane\\orvane-lobby.exe",
     "C:\\Games\\Orvane\\emulator\\halvic-orvane\\halvic.exe",
     "C:\\Games\\Orvane\\emulator\\pendrel-orvane\\pendrel.exe"},
    {"C:\\", "C:\\orvane-lobby.exe", "C:\\emulator\\halvic-orvane\\halvic.exe",
     "C:\\emulator\\pendrel-orvane\\pendrel.exe"},
    {"\\\\server\\share\\", "\\\\server\\share\\orvane-lobby.exe",
     "\\\\server\\share\\emulator\\halvic-orvane\\halvic.exe",
     "\\\\server\\share\\emulator\\pendrel-orvane\\pendrel.exe"},
    {"\\\\server\\share", "\\\\server\\share\\orvane-lobby.exe",
     "\\\\server\\share\\emulator\\halvic-orvane\\halvic.exe",
     "\\\\server\\share\\emulator\\pendrel-orvane\\pendrel.exe"},
    {"\\\\?\\C:\\Games", "\\\\?\\C:\\Games\\orvane-lobby.exe",
     "\\\\?\\C:\\Games\\emulator\\halvic-orvane\\halvic.exe",
     "\\\\?\\C:\\Games\\emulator\\pendrel-orvane\\pendrel.exe"},
    {"\\\\?\\UNC\\server\\share\\x", "\\\\?\\UNC\\server\\share\\x\\orvane-lobby.exe",
     "\\\\?\\UNC\\server\\share\\x\\emulator\\halvic-orvane\\halvic.exe",
     "\\\\?\\UNC\\server\\share\\x\\emulator\\pendrel-orvane\\pendrel.exe"},
    {"\\\\.\\device\\dir", "\\\\.\\device\\dir\\orvane-lobby.exe",
     "\\\\.\\device\\dir\\emulator\\halvic-orvane\\halvic.exe",
     "\\\\.\\device\\dir\\emulator\\pendrel-orvane\\pendrel.exe"},
    {"Z:\\spiele\\\xC3\x96rvane \xE6\x97\xA5",
     "Z:\\spiele\\\xC3\x96rvane \xE6\x97\xA5\\orvane-lobby.exe",
     "Z:\\spiele\\\xC3\x96rvane \xE6\x97\xA5\\emulator\\halvic-orvane\\halvic.exe",
     "Z:\\spiele\\\xC3\x96rvane \xE6\x97\xA5\\emulator\\pendrel-orvane\\pendrel.exe"},
    {"C:\\Orv\xEF\xBF\xBDne", "C:\\Orv\xEF\xBF\xBDne\\orvane-lobby.exe",
     "C:\\Orv\xEF\xBF\xBDne\\emulator\\halvic-orvane\\halvic.exe",
     "C:\\Orv\xEF\xBF\xBDne\\emulator\\pendrel-orvane\\pendrel.exe"},
};

TEST(JoinPath, FormsTheApplicationPathsUnderAnInstallationDirectory) {
  for (const InstallCase& c : kInstallCases) {
    SCOPED_TRACE(c.directory);
    EXPECT_EQ(application_path(c.directory, {"orvane-lobby.exe"}), c.lobby);
    EXPECT_EQ(application_path(c.directory, {"emulator", "halvic-orvane", "halvic.exe"}), c.halvic);
    EXPECT_EQ(application_path(c.directory, {"emulator", "pendrel-orvane", "pendrel.exe"}),
              c.pendrel);
  }
}

// From the executable's own path to the lobby's path, as the program goes.
TEST(JoinPath, PlacesTheLobbyBesideTheExecutable) {
  const struct {
    std::string_view executable;
    std::string_view lobby;
  } cases[] = {
      {"C:\\Games\\Orvane\\orvane-firewall.exe", "C:\\Games\\Orvane\\orvane-lobby.exe"},
      {"C:\\orvane-firewall.exe", "C:\\orvane-lobby.exe"},
      {"\\\\server\\share\\orvane-firewall.exe", "\\\\server\\share\\orvane-lobby.exe"},
      // A verbatim path of a drive or a share comes back to its ordinary form; others stay.
      {"\\\\?\\C:\\Games\\orvane-firewall.exe", "C:\\Games\\orvane-lobby.exe"},
      {"\\\\?\\d:\\orvane-firewall.exe", "d:\\orvane-lobby.exe"},
      {"\\\\?\\UNC\\server\\share\\orvane-firewall.exe", "\\\\server\\share\\orvane-lobby.exe"},
      {"\\\\?\\unc\\server\\share\\x\\orvane-firewall.exe",
       "\\\\server\\share\\x\\orvane-lobby.exe"},
      {"\\\\?\\Volume{0d1e}\\Orvane\\orvane-firewall.exe",
       "\\\\?\\Volume{0d1e}\\Orvane\\orvane-lobby.exe"},
      {"\\\\?\\GLOBALROOT\\Device\\orvane-firewall.exe",
       "\\\\?\\GLOBALROOT\\Device\\orvane-lobby.exe"},
      {"\\\\.\\C:\\Games\\orvane-firewall.exe", "\\\\.\\C:\\Games\\orvane-lobby.exe"},
      // Relative to the drive's current folder: no ordinary form stands for it.
      {"\\\\?\\C:Games\\orvane-firewall.exe", "\\\\?\\C:Games\\orvane-lobby.exe"},
      {"Z:\\home\\user\\orvane\\orvane-firewall", "Z:\\home\\user\\orvane\\orvane-lobby.exe"},
  };
  for (const auto& c : cases) {
    const std::string executable = ordinary_form(c.executable);
    const auto directory = parent_path(executable);
    ASSERT_TRUE(directory.has_value()) << c.executable;
    EXPECT_EQ(application_path(*directory, {"orvane-lobby.exe"}), c.lobby);
  }
  EXPECT_EQ(ordinary_form("\\\\?\\C:"), "C:");  // a drive alone, as PathCchStripPrefix gives it
}

// Whatever a parent is, a name joined onto it has that parent again.
TEST(JoinPath, ANameJoinedOntoAParentHasThatParent) {
  std::vector<std::string_view> paths;
  for (const ParentCase& c : kParentCases) paths.push_back(c.path);
  for (const JoinCase& c : kJoinCases) paths.push_back(c.joined);
  for (const InstallCase& c : kInstallCases) paths.push_back(c.halvic);
  int checked = 0;
  for (std::string_view path : paths) {
    const auto parent = parent_path(path);
    if (!parent) continue;
    for (std::string_view name : {"x.exe", "emulator", "\xC3\xA9t\xC3\xA9"}) {
      std::string joined(*parent);
      join_path(joined, name);
      EXPECT_EQ(parent_path(joined), *parent) << "path: " << path << ", name: " << name;
      ++checked;
    }
  }
  EXPECT_GT(checked, 200);
}

}  // namespace
}  // namespace orvane::driver
