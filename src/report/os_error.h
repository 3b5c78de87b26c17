#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::report {

// A system error code as GetLastError reports it, shown in a failure report as the record
//   Os { code: <decimal>, kind: <category>, message: "<system text>" }
struct OsError {
  std::int32_t code;
};

void detailed_form(const OsError& error, std::string& out);

// The category of a system error code: one identifier word ("NotFound", "PermissionDenied", ...,
// "Uncategorized" for the codes without one).
std::string_view os_error_kind(std::int32_t code);

// The system's text for the code, trailing white space removed. When the system has none:
// "OS Error <code> (FormatMessageW() returned error <last error>)"; when its text is not valid
// UTF-16: "OS Error <code> (FormatMessageW() returned invalid UTF-16)".
std::string os_error_message(std::int32_t code);

}  // namespace orvane::report
