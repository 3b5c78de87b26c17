#include "platform/hresult_error.h"

#include <cstdint>
#include <cstdio>

#include "platform/heap_message.h"
#include "platform/owned_bstr.h"
#include "text/quote.h"
#include "text/utf16.h"

namespace orvane::platform {
namespace {

// Results with this bit set wrap an NTSTATUS; their texts live in ntdll's message table.
constexpr DWORD kNtStatusBit = 0x10000000;

// The text of a BSTR that error information handed out, or empty text for none.
std::string bstr_text(const OwnedBstr& bstr) {
  if (bstr.length() == 0) return {};
  return text::wide_to_text(text::trim_trailing_white_space(bstr.view()));
}

}  // namespace

HresultError HresultError::from_hresult(HRESULT code) {
  HresultError error(code);
  // Whatever GetErrorInfo answers, the slot holds the thread's object or stays null.
  (void)GetErrorInfo(0, error.info_.put());
  return error;
}

HresultError HresultError::from_last_error() {
  const DWORD last_error = GetLastError();
  const auto value = static_cast<std::int32_t>(last_error);
  if (value <= 0) return HresultError(value);
  return HresultError(static_cast<HRESULT>(0x80070000u | (last_error & 0xFFFFu)));
}

std::string HresultError::message() const {
  if (!info_) return system_message(code_);

  // Only the texts matter here: every result code of these calls is ignored, and an empty
  // candidate simply moves on to the next source.
  OwnedBstr candidate;
  ComPtr<IRestrictedErrorInfo> restricted;
  (void)info_->QueryInterface(kIidIRestrictedErrorInfo, restricted.put_void());
  if (restricted) {
    OwnedBstr description;
    OwnedBstr restricted_description;
    OwnedBstr capability_sid;
    HRESULT error = S_OK;
    (void)restricted->GetErrorDetails(description.put(), &error, restricted_description.put(),
                                      capability_sid.put());
    capability_sid.reset();
    candidate = restricted_description.length() > 0 ? std::move(restricted_description)
                                                    : std::move(description);
  }
  restricted.reset();
  if (candidate.length() == 0) (void)info_->GetDescription(candidate.put());
  // With error information present, its text is the message even when empty: the system's text
  // for the code would describe something the failing object did not say.
  return bstr_text(candidate);
}

void detailed_form(const HresultError& error, std::string& out) {
  char code[11];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(error.code()));
  out += "Error { code: HRESULT(";
  out += code;
  out += "), message: ";
  text::quote_text(error.message(), out);
  out += " }";
}

// One of the program's two FormatMessageW lookups; the other is os_error_message (report/), for
// the own-path error. They differ on purpose, each as its report form requires: this one lets the
// system allocate the buffer, loads ntdll for a wrapped NTSTATUS, decodes any text (lossily) and
// gives empty text when there is none; the other fills a fixed 2048-unit buffer, takes ntdll's
// table only when ntdll is loaded already, and says in words why there is no text.
std::string system_message(HRESULT code) {
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  auto message_id = static_cast<DWORD>(code);
  HMODULE source = nullptr;
  if (message_id & kNtStatusBit) {
    message_id &= ~kNtStatusBit;
    // ntdll is loaded in every process; the handle is neither checked nor freed.
    source = LoadLibraryExA("ntdll.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  HeapMessage buffer;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the address of the buffer.
  const DWORD count = FormatMessageW(flags, source, message_id, 0,
                                     reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
  if (!buffer.get() || count == 0) return {};
  return text::wide_to_text(text::trim_trailing_white_space(WideView(buffer.get(), count)));
}

}  // namespace orvane::platform
