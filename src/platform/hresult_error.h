#pragma once

#include <string>

#include "platform/com_ptr.h"
#include "platform/win32.h"

namespace orvane::platform {

// One failed platform call: its result code and the error information the thread held right after
// it. It carries no text; its message is worked out each time it is shown, from the error
// information when there is some, else from the system's message table.
class HresultError {
 public:
  // A code with no error information: a call that succeeded without giving back an object
  // (code 0), or a failure the program detects itself.
  explicit HresultError(HRESULT code) noexcept : code_(code) {}

  // For a call that just returned `code`: takes over the thread's error information with
  // GetErrorInfo. Call it directly after the failing call, before any other platform call.
  static HresultError from_hresult(HRESULT code);

  // For a call that reports failure through the last error: 0x80070000 | (error & 0xFFFF) for a
  // positive last error, the value itself otherwise. No error information.
  static HresultError from_last_error();

  HresultError(HresultError&&) noexcept = default;
  HresultError& operator=(HresultError&&) noexcept = default;

  HRESULT code() const noexcept { return code_; }
  bool has_info() const noexcept { return static_cast<bool>(info_); }

  // IRestrictedErrorInfo's restricted description, else its description, else GetDescription's
  // text, trailing white space removed; empty when all are empty. Without error information, the
  // system's message for the code.
  std::string message() const;

 private:
  HRESULT code_;
  ComPtr<IErrorInfo> info_;
};

// Error { code: HRESULT(0x8007000D), message: "..." }
void detailed_form(const HresultError& error, std::string& out);

// The system's message-table text for `code` (from ntdll.dll's table for codes with bit 28 set),
// trailing white space removed; empty when the system has none.
std::string system_message(HRESULT code);

}  // namespace orvane::platform
