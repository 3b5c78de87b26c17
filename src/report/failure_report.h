#pragma once

#include <string_view>

#include "report/source_location.h"

namespace orvane::report {

// What a fatal failure throws once its report is written. It unwinds the driver, releasing what
// each level holds, up to the start-up layer, which turns it into exit status 101. It is not a
// std::exception on purpose: nothing but the start-up layer catches it.
struct FatalFailure {};

// Writes the failure report to standard error:
//   "\n" "thread '<name>' panicked at <file>:<line>:<column>:\n" <message> "\n"
// in one write when it fits in 512 bytes, else piece by piece. Errors while writing are ignored.
void write_failure_report(const SourceLocation& location, std::string_view message);

// Writes the report, then throws FatalFailure.
[[noreturn]] void raise_fatal(const SourceLocation& location, std::string_view message);

// Writes UTF-8 text to the process's standard error: WriteConsoleW when it is a console whose
// output code page is not UTF-8, its bytes as they are otherwise, nothing when there is no
// standard error. Never allocates, so the out-of-memory path can use it too.
void write_stderr(std::string_view text);

// The same for the process's standard output.
void write_stdout(std::string_view text);

}  // namespace orvane::report
