#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "report/failure_report.h"
#include "report/source_location.h"

namespace orvane::report {

// A failure value: anything with a detailed form, found by argument-dependent lookup as
// `detailed_form(const E&, std::string& out)`, which appends one line of text to `out`.
template <class E>
concept HasDetailedForm = requires(const E& e, std::string& out) {
  detailed_form(e, out);
};

// Returns the value when present; otherwise the program stops with `message` alone as the report.
template <class T>
T expect_present(std::optional<T> value, std::string_view message, const SourceLocation& location) {
  if (!value) raise_fatal(location, message);
  return std::move(*value);
}

// Returns the success value; otherwise the program stops with `message`, ": " and the detailed
// form of the failure value, which is released while the failure unwinds.
template <class T, HasDetailedForm E>
T expect_success(std::expected<T, E> result, std::string_view message,
                 const SourceLocation& location) {
  if (!result) {
    std::string text(message);
    text += ": ";
    detailed_form(result.error(), text);
    raise_fatal(location, text);
  }
  if constexpr (!std::is_void_v<T>) return std::move(*result);
}

}  // namespace orvane::report
