#pragma once

#include <cstdint>
#include <string_view>

namespace orvane::report {

// The fixed position a failure site names in its report: a project-relative file path with
// backslashes, a line and a column, both counted from 1. Always a literal at the site.
struct SourceLocation {
  std::string_view file;
  std::uint32_t line;
  std::uint32_t column;
};

}  // namespace orvane::report
