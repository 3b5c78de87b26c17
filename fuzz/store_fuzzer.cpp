// fwsim's rule store reader. Any line: parse_rule reads it or says why in one line; a rule it
// reads is written back by format_rule into a line that reads as the same rule and is written the
// same again. Any text: fwsim's text form reads back to the very UTF-16 it was made of. Any file:
// the store lists exactly its rule lines, or refuses with a one-line reason naming the bad line,
// and then refuses to add a rule and leaves the file as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <fwsim/testing.h>

#include "reference_unicode.h"

namespace {

using namespace orvane::fuzz;
namespace sim = fwsim;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Rewritten for every input: tools/fuzz.sh points TMPDIR at a folder in memory where there is one.
const std::filesystem::path& store_file() {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("fwsim-store-fuzz-" + std::to_string(::getpid()));
  return path;
}

void check_line(std::string_view line) {
  const auto rule = sim::parse_rule(line);
  if (!rule) {
    check(!rule.error().empty() && rule.error().find_first_of("\r\n") == std::string::npos,
          "a line is refused without a one-line reason");
    return;
  }
  const std::string written = sim::format_rule(*rule);
  const auto again = sim::parse_rule(written);
  check(again.has_value(), "a rule's own line does not read");
  check(*again == *rule, "a rule's own line reads as another rule");
  check(sim::format_rule(*again) == written, "a rule is written two ways");
}

void check_text_form(const std::uint8_t* data, std::size_t size) {
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  const std::string form = sim::text_form(units);
  std::string_view in = form;
  std::u16string back;
  check(sim::read_text_form(in, back) && in.empty(), "a text form does not read");
  check(back == units, "a text form reads back to another text");
  // Read the other way round: whatever reads as a text form is written to a form that reads the
  // same.
  std::string_view raw(reinterpret_cast<const char*>(data), size);
  std::u16string read;
  if (sim::read_text_form(raw, read)) {
    const std::string rewritten = sim::text_form(read);
    std::string_view again = rewritten;
    std::u16string reread;
    check(sim::read_text_form(again, reread) && reread == read, "a read text is written wrongly");
  }
}

void check_file(std::string_view content) {
  {
    std::ofstream out(store_file(), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  sim::StoreHandle store;  // reads the file afresh, as the store of a new process does
  const auto lines = store.rule_lines();
  if (lines) {
    std::vector<std::string> expected;
    std::istringstream in{std::string(content)};
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.front() != '#') expected.push_back(line);
    }
    check(*lines == expected, "the store lists other lines than its rule lines");
    return;
  }
  check(lines.error().find_first_of("\r\n") == std::string::npos,
        "a damaged store's reason is not one line");
  check(lines.error().find(": line ") != std::string::npos,
        "a damaged store's reason names no line");
  const sim::Rule rule{{sim::Prop::Name, std::u16string(u"x")}};
  check(!store.append(rule).has_value(), "a rule was added to a damaged store");
  check(read_file(store_file()) == content, "a damaged store was overwritten");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fwsim::reset();
  fwsim::set_store_path(store_file().string());
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove(store_file(), ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    check_line(text.substr(start, end - start));
    start = end + 1;
  }
  check_text_form(data, size);
  check_file(text);
  return 0;
}
