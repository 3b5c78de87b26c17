#include "report/os_error.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "platform/win32.h"
#include "text/quote.h"
#include "text/utf16.h"

namespace orvane::report {
namespace {

// A system error code whose bit 28 is set wraps a native status code, whose text is in ntdll's
// message table rather than the system's.
constexpr DWORD kNativeStatusBit = 0x10000000;

// Room for the longest system message; a longer one is not expected from the system tables.
constexpr DWORD kMessageUnits = 2048;

struct KindEntry {
  std::int32_t code;
  std::string_view kind;
};

// Win32 and Winsock error codes by category, sorted by code.
constexpr auto kKinds = std::to_array<KindEntry>({
    {2, "NotFound"},                    // ERROR_FILE_NOT_FOUND
    {3, "NotFound"},                    // ERROR_PATH_NOT_FOUND
    {5, "PermissionDenied"},            // ERROR_ACCESS_DENIED
    {8, "OutOfMemory"},                 // ERROR_NOT_ENOUGH_MEMORY
    {13, "InvalidData"},                // ERROR_INVALID_DATA
    {14, "OutOfMemory"},                // ERROR_OUTOFMEMORY
    {17, "CrossesDevices"},             // ERROR_NOT_SAME_DEVICE
    {19, "ReadOnlyFilesystem"},         // ERROR_WRITE_PROTECT
    {32, "ResourceBusy"},               // ERROR_SHARING_VIOLATION
    {33, "ResourceBusy"},               // ERROR_LOCK_VIOLATION
    {38, "UnexpectedEof"},              // ERROR_HANDLE_EOF
    {39, "StorageFull"},                // ERROR_HANDLE_DISK_FULL
    {50, "Unsupported"},                // ERROR_NOT_SUPPORTED
    {80, "AlreadyExists"},              // ERROR_FILE_EXISTS
    {87, "InvalidInput"},               // ERROR_INVALID_PARAMETER
    {109, "BrokenPipe"},                // ERROR_BROKEN_PIPE
    {112, "StorageFull"},               // ERROR_DISK_FULL
    {120, "Unsupported"},               // ERROR_CALL_NOT_IMPLEMENTED
    {121, "TimedOut"},                  // ERROR_SEM_TIMEOUT
    {123, "InvalidFilename"},           // ERROR_INVALID_NAME
    {145, "DirectoryNotEmpty"},         // ERROR_DIR_NOT_EMPTY
    {161, "InvalidFilename"},           // ERROR_BAD_PATHNAME
    {170, "ResourceBusy"},              // ERROR_BUSY
    {183, "AlreadyExists"},             // ERROR_ALREADY_EXISTS
    {206, "InvalidFilename"},           // ERROR_FILENAME_EXCED_RANGE
    {223, "FileTooLarge"},              // ERROR_FILE_TOO_LARGE
    {232, "BrokenPipe"},                // ERROR_NO_DATA
    {258, "TimedOut"},                  // WAIT_TIMEOUT
    {267, "NotADirectory"},             // ERROR_DIRECTORY
    {1142, "TooManyLinks"},             // ERROR_TOO_MANY_LINKS
    {1460, "TimedOut"},                 // ERROR_TIMEOUT
    {1816, "FilesystemQuotaExceeded"},  // ERROR_NOT_ENOUGH_QUOTA
    {10013, "PermissionDenied"},        // WSAEACCES
    {10035, "WouldBlock"},              // WSAEWOULDBLOCK
    {10048, "AddrInUse"},               // WSAEADDRINUSE
    {10049, "AddrNotAvailable"},        // WSAEADDRNOTAVAIL
    {10050, "NetworkDown"},             // WSAENETDOWN
    {10051, "NetworkUnreachable"},      // WSAENETUNREACH
    {10053, "ConnectionAborted"},       // WSAECONNABORTED
    {10054, "ConnectionReset"},         // WSAECONNRESET
    {10057, "NotConnected"},            // WSAENOTCONN
    {10060, "TimedOut"},                // WSAETIMEDOUT
    {10061, "ConnectionRefused"},       // WSAECONNREFUSED
    {10065, "HostUnreachable"},         // WSAEHOSTUNREACH
});

static_assert(std::ranges::is_sorted(kKinds, {}, &KindEntry::code));

void append_decimal(std::int64_t value, std::string& out) { out += std::to_string(value); }

// Whether every surrogate unit in `units` belongs to a pair.
bool is_valid_utf16(WideView units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto unit = static_cast<std::uint16_t>(units[i]);
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == units.size()) return false;
      const auto next = static_cast<std::uint16_t>(units[i + 1]);
      if (next < 0xDC00 || next > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

}  // namespace

std::string_view os_error_kind(std::int32_t code) {
  const auto it = std::ranges::lower_bound(kKinds, code, {}, &KindEntry::code);
  return it != kKinds.end() && it->code == code ? it->kind : "Uncategorized";
}

// One of the program's two FormatMessageW lookups; the other is platform::system_message, for
// the firewall's errors. Why they are not one: see there.
std::string os_error_message(std::int32_t code) {
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  LPCVOID source = nullptr;
  auto message_id = static_cast<DWORD>(code);
  if (message_id & kNativeStatusBit) {
    // Only when ntdll is already loaded: this lookup loads nothing itself.
    if (HMODULE ntdll = GetModuleHandleA("NTDLL.DLL")) {
      message_id &= ~kNativeStatusBit;
      flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
      source = ntdll;
    }
  }

  std::array<WCHAR, kMessageUnits> buffer{};
  const DWORD length =
      FormatMessageW(flags, source, message_id, 0, buffer.data(), kMessageUnits, nullptr);
  if (length == 0) {
    // Read before anything else can overwrite the thread's last error.
    const auto error = static_cast<std::int32_t>(GetLastError());
    std::string text = "OS Error ";
    append_decimal(code, text);
    text += " (FormatMessageW() returned error ";
    append_decimal(error, text);
    text += ")";
    return text;
  }

  const WideView units = text::trim_trailing_white_space(
      WideView(buffer.data(), std::min<DWORD>(length, kMessageUnits)));
  if (!is_valid_utf16(units)) {
    std::string text = "OS Error ";
    append_decimal(code, text);
    text += " (FormatMessageW() returned invalid UTF-16)";
    return text;
  }
  return text::wide_to_text(units);
}

void detailed_form(const OsError& error, std::string& out) {
  out += "Os { code: ";
  append_decimal(error.code, out);
  out += ", kind: ";
  out += os_error_kind(error.code);
  out += ", message: ";
  text::quote_text(os_error_message(error.code), out);
  out += " }";
}

}  // namespace orvane::report
