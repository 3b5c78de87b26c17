// The parent and join rules of Windows paths. Any text: parent_path gives a strictly shorter
// prefix of it or nothing, and join_path never fails. For a folder that is itself the parent of a
// path (as the installation folder is the parent of the program's own path), of every prefix kind:
// the parent of the folder joined with a plain name is the folder again, and the join puts exactly
// one separator between them, or none after a separator or a bare drive.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "driver/windows_path.h"
#include "reference_unicode.h"

namespace {

using namespace orvane::fuzz;
using orvane::driver::join_path;
using orvane::driver::parent_path;

constexpr std::string_view kPrefixes[] = {"",
                                          "\\",
                                          "C:",
                                          "C:\\",
                                          "c:/",
                                          "\\\\server\\share\\",
                                          "//server/share/",
                                          "\\\\?\\C:\\",
                                          "\\\\?\\UNC\\server\\share\\",
                                          "\\\\?\\Volume{x}\\",
                                          "\\\\.\\device\\",
                                          "\\\\.\\pipe\\name\\",
                                          ".\\",
                                          "..\\"};

bool is_separator(char c) { return c == '\\' || c == '/'; }

// Reads the fuzzer's bytes as a sequence of choices.
class Choices {
 public:
  Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// A plain name: one or more characters, none a separator, a colon or a question mark, and not
// "." or "..".
std::string plain_name(Choices& choices) {
  static constexpr std::string_view kAlphabet = "abcXYZ09 ._-~$\xC3\xA9";
  std::string name;
  const std::size_t length = 1 + choices.next() % 6;
  for (std::size_t i = 0; i < length; ++i) name += kAlphabet[choices.next() % kAlphabet.size()];
  if (name == "." || name == "..") name += 'n';
  return name;
}

void check_parent_of_any(std::string_view path) {
  const auto parent = parent_path(path);
  if (!parent) return;
  check(parent->data() == path.data() && parent->size() < path.size(),
        "a parent that is not a shorter prefix of the path");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  check_parent_of_any(raw);
  // Any text joined onto any text: no crash, no hang.
  const std::size_t half = raw.size() / 2;
  std::string joined(raw.substr(0, half));
  join_path(joined, raw.substr(half));

  // A path of the chosen prefix kind with names and separators after it; the folder is its
  // parent, as the installation folder is.
  Choices choices(data, size);
  const std::string_view prefix = kPrefixes[choices.next() % std::size(kPrefixes)];
  const bool verbatim = prefix.starts_with("\\\\?\\");
  std::string path(prefix);
  const std::size_t names = 1 + choices.next() % 4;
  for (std::size_t i = 0; i < names; ++i) {
    if (i > 0 || (!path.empty() && !is_separator(path.back()) && path != "C:")) {
      path += (verbatim || choices.next() % 2 == 0) ? '\\' : '/';
    }
    path += plain_name(choices);
  }
  const auto folder = parent_path(path);
  if (!folder) return 0;
  const std::string name = plain_name(choices);
  std::string result(*folder);
  join_path(result, name);

  check(result.ends_with(name), "the joined path does not end with the name");
  const std::string_view before(result.data(), result.size() - name.size());
  const bool bare_drive = folder->size() == 2 && (*folder)[1] == ':';
  if (folder->empty() || bare_drive) {
    check(before == *folder, "something put between an empty folder or a bare drive and the name");
  } else {
    check(!before.empty() && is_separator(before.back()), "no separator before the name");
    check(before.size() < 2 || !is_separator(before[before.size() - 2]),
          "a doubled separator before the name");
  }
  const auto parent = parent_path(result);
  check(parent.has_value() && *parent == *folder,
        "the parent of the folder joined with a name is not the folder");
  return 0;
}
