#include "driver/windows_path.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace orvane::driver {
namespace {

enum class PrefixKind { Verbatim, VerbatimUnc, VerbatimDisk, DeviceNs, Unc, Disk };

struct Prefix {
  PrefixKind kind;
  std::size_t length;  // bytes of the path that the prefix takes

  bool verbatim() const {
    return kind == PrefixKind::Verbatim || kind == PrefixKind::VerbatimUnc ||
           kind == PrefixKind::VerbatimDisk;
  }
  // \\server\share and \\.\name stand for a root even when no separator follows them; a drive
  // does not (C:foo is relative to the drive's current directory).
  bool implied_root() const { return kind != PrefixKind::Disk; }
};

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool is_drive(std::string_view text) {
  return text.size() >= 2 && is_ascii_letter(text[0]) && text[1] == ':';
}

// Whether `text` begins with `pattern` when every "/" of `text` is read as "\".
bool starts_with_loosely(std::string_view text, std::string_view pattern) {
  if (text.size() < pattern.size()) return false;
  return std::equal(pattern.begin(), pattern.end(), text.begin(),
                    [](char p, char t) { return p == (t == '/' ? '\\' : t); });
}

// The text up to the first separator (the whole text when there is none), and what follows that
// separator.
std::pair<std::string_view, std::string_view> split_first(std::string_view text, bool verbatim) {
  const auto at = std::find_if(text.begin(), text.end(), [verbatim](char c) {
    return verbatim ? c == '\\' : is_separator(c);
  });
  if (at == text.end()) return {text, {}};
  const auto length = static_cast<std::size_t>(at - text.begin());
  return {text.substr(0, length), text.substr(length + 1)};
}

std::optional<Prefix> parse_prefix(std::string_view path) {
  if (!starts_with_loosely(path, "\\\\")) {
    if (is_drive(path)) return Prefix{PrefixKind::Disk, 2};
    return std::nullopt;
  }
  // Windows hands a \\?\ path to the file system without normalising it, so the verbatim forms
  // count only when written with backslashes.
  if (starts_with_loosely(path.substr(2), "?\\") && path.substr(0, 4).find('/') == path.npos) {
    if (starts_with_loosely(path.substr(4), "UNC\\")) {
      const auto [server, rest] = split_first(path.substr(8), true);
      const auto share = split_first(rest, true).first;
      return Prefix{PrefixKind::VerbatimUnc,
                    8 + server.size() + (share.empty() ? 0 : 1 + share.size())};
    }
    const std::string_view rest = path.substr(4);
    // Only an exact drive: \\?\C: followed by nothing or a backslash.
    if (is_drive(rest) && (rest.size() == 2 || rest[2] == '\\')) {
      return Prefix{PrefixKind::VerbatimDisk, 6};
    }
    return Prefix{PrefixKind::Verbatim, 4 + split_first(rest, true).first.size()};
  }
  if (starts_with_loosely(path.substr(2), ".\\")) {
    return Prefix{PrefixKind::DeviceNs, 4 + split_first(path.substr(4), false).first.size()};
  }
  const auto [server, rest] = split_first(path.substr(2), false);
  const auto share = split_first(rest, false).first;
  if (server.empty() || share.empty()) return std::nullopt;
  return Prefix{PrefixKind::Unc, 2 + server.size() + 1 + share.size()};
}

// How a path divides into prefix, root and the names after them.
struct Layout {
  std::optional<Prefix> prefix;
  std::size_t prefix_length = 0;
  bool verbatim = false;
  bool physical_root = false;  // a separator right after the prefix
  bool leading_dot = false;    // a "." that starts an unrooted path, counted as a component

  explicit Layout(std::string_view path) : prefix(parse_prefix(path)) {
    if (prefix) {
      prefix_length = prefix->length;
      verbatim = prefix->verbatim();
    }
    const std::string_view after = path.substr(prefix_length);
    physical_root = !after.empty() && is_separator(after.front());
    const bool rooted = physical_root || (prefix && prefix->implied_root());
    leading_dot = !rooted && !after.empty() && after.front() == '.' &&
                  (after.size() == 1 || separates(after[1]));
  }

  bool separates(char c) const { return verbatim ? c == '\\' : is_separator(c); }
  std::size_t body_start() const { return prefix_length + physical_root + leading_dot; }

  // Empty names are never components; "." is one only in a verbatim path, where nothing is
  // normalised away.
  bool is_component(std::string_view name) const {
    return !name.empty() && (name != "." || verbatim);
  }
};

enum class Kind { Prefix, Root, Current, Parent, Name };

struct Piece {
  Kind kind;
  std::string_view text;
};

std::vector<Piece> components(std::string_view path, const Layout& layout) {
  std::vector<Piece> pieces;
  if (layout.prefix) pieces.push_back({Kind::Prefix, path.substr(0, layout.prefix_length)});
  if (layout.physical_root ||
      (layout.prefix && layout.prefix->implied_root() && !layout.verbatim)) {
    pieces.push_back({Kind::Root, "\\"});
  } else if (!layout.prefix && layout.leading_dot) {
    pieces.push_back({Kind::Current, "."});
  }
  std::string_view rest = path.substr(std::min(layout.body_start(), path.size()));
  while (!rest.empty()) {
    const auto [name, after] = split_first(rest, layout.verbatim);
    if (layout.is_component(name)) {
      const Kind kind = name == "." ? Kind::Current : name == ".." ? Kind::Parent : Kind::Name;
      pieces.push_back({kind, name});
    }
    if (name.size() == rest.size()) break;
    rest = after;
  }
  return pieces;
}

// A verbatim path is taken by Windows as written, so "." and ".." of the joined part are resolved
// here and every piece is set after a single "\".
std::string join_verbatim(std::string_view path, const Layout& layout, std::string_view added) {
  std::vector<Piece> pieces = components(path, layout);
  for (const Piece& piece : components(added, Layout(added))) {
    switch (piece.kind) {
      case Kind::Root:
        pieces.resize(1);  // keep the prefix only
        pieces.push_back(piece);
        break;
      case Kind::Current:
        break;
      case Kind::Parent:
        if (!pieces.empty() && pieces.back().kind == Kind::Name) pieces.pop_back();
        break;
      case Kind::Prefix:
      case Kind::Name:
        pieces.push_back(piece);
        break;
    }
  }
  std::string result;
  bool separate = false;
  for (const Piece& piece : pieces) {
    if (separate && piece.kind != Kind::Root) result += '\\';
    result += piece.text;
    separate = piece.kind != Kind::Root;
  }
  return result;
}

bool equals_ignoring_ascii_case(std::string_view text, std::string_view upper) {
  return std::equal(text.begin(), text.end(), upper.begin(), upper.end(), [](char t, char u) {
    return (t >= 'a' && t <= 'z' ? static_cast<char>(t - 'a' + 'A') : t) == u;
  });
}

}  // namespace

std::string ordinary_form(std::string_view path) {
  constexpr std::string_view kVerbatim = "\\\\?\\";
  if (!path.starts_with(kVerbatim)) return std::string(path);
  const std::string_view rest = path.substr(kVerbatim.size());
  if (rest.size() >= 4 && equals_ignoring_ascii_case(rest.substr(0, 4), "UNC\\")) {
    return "\\\\" + std::string(rest.substr(4));
  }
  // A drive alone, or a drive with its root; \\?\C:x is relative to the drive's current folder,
  // which a verbatim path cannot mean, and stays as it is (Wine's PathCchStripPrefix tests, as
  // run on Windows: \\?\C: gives C:).
  if (is_drive(rest) && (rest.size() == 2 || rest[2] == '\\')) return std::string(rest);
  return std::string(path);
}

std::optional<std::string_view> parent_path(std::string_view path) {
  const Layout layout(path);
  const std::size_t body = layout.body_start();
  std::size_t end = path.size();
  // Takes the last name off path[0, end), with the separator in front of it.
  auto pop_last = [&]() {
    std::size_t start = end;
    while (start > body && !layout.separates(path[start - 1])) --start;
    const std::string_view name = path.substr(start, end - start);
    end = start > body ? start - 1 : body;
    return name;
  };
  while (end > body) {
    if (!layout.is_component(pop_last())) continue;
    // Drop the separators (and names that are no components) in front of it.
    while (end > body) {
      const std::size_t before = end;
      if (layout.is_component(pop_last())) {
        end = before;
        break;
      }
    }
    return path.substr(0, end);
  }
  // Only a leading "." is left, whose parent is the empty path; a root or a prefix has none.
  if (!layout.prefix && layout.leading_dot) return path.substr(0, 0);
  return std::nullopt;
}

void join_path(std::string& path, std::string_view component) {
  const Layout layout(path);
  const Layout added(component);
  if (added.prefix) {
    path.assign(component);
    return;
  }
  if (layout.verbatim && !component.empty()) {
    path = join_verbatim(path, layout, component);
    return;
  }
  if (added.physical_root) {
    path.resize(layout.prefix_length);
  } else {
    const bool bare_drive = layout.prefix && layout.prefix->kind == PrefixKind::Disk &&
                            layout.prefix_length == path.size();
    if (!path.empty() && !is_separator(path.back()) && !bare_drive) path += '\\';
  }
  path.append(component);
}

}  // namespace orvane::driver
