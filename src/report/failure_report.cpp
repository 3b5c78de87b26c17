#include "report/failure_report.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>

#include "platform/win32.h"
#include "report/startup.h"

namespace orvane::report {
namespace {

// A report that fits is composed here and written at once, so that it reaches the console or
// file in one piece.
constexpr std::size_t kWholeReportLimit = 512;

// WriteConsoleW gets the text in chunks converted into this many UTF-16 units on the stack.
constexpr std::size_t kConsoleChunkUnits = 256;

// The length of the longest prefix of `text`, at most `limit` bytes, that does not end inside a
// UTF-8 sequence, so that no character is split between two conversions. Bytes that are not
// UTF-8 anyway are cut wherever the limit falls: they become U+FFFD either way.
std::size_t utf8_chunk_length(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t end = limit;
  // Step back over continuation bytes to the start of the sequence that the limit cuts.
  std::size_t back = 0;
  while (back < 3 && end > back &&
         (static_cast<unsigned char>(text[end - back - 1]) & 0xC0) == 0x80) {
    ++back;
  }
  if (end > back) {
    const auto lead = static_cast<unsigned char>(text[end - back - 1]);
    std::size_t length = 1;
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    if (length > back + 1) end -= back + 1;  // the sequence goes on past the limit
  }
  return end == 0 ? limit : end;
}

void write_console(HANDLE handle, std::string_view text) {
  WCHAR units[kConsoleChunkUnits];
  while (!text.empty()) {
    // A UTF-8 byte never gives more than one UTF-16 unit, so the chunk always fits.
    const std::size_t length = utf8_chunk_length(text, kConsoleChunkUnits);
    const int converted = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(length),
                                              units, static_cast<int>(kConsoleChunkUnits));
    if (converted <= 0) return;
    DWORD done = 0;
    while (done < static_cast<DWORD>(converted)) {
      DWORD written = 0;
      if (!WriteConsoleW(handle, units + done, static_cast<DWORD>(converted) - done, &written,
                         nullptr) ||
          written == 0) {
        return;
      }
      done += written;
    }
    text.remove_prefix(length);
  }
}

void write_bytes(HANDLE handle, std::string_view text) {
  while (!text.empty()) {
    const auto count =
        static_cast<DWORD>(std::min<std::size_t>(text.size(), std::numeric_limits<DWORD>::max()));
    DWORD written = 0;
    if (!WriteFile(handle, text.data(), count, &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

// Collects the report's pieces in a fixed buffer. When they do not all fit, the whole report is
// instead written piece by piece by the caller.
class ReportBuffer {
 public:
  void append(std::string_view piece) {
    if (piece.size() > sizeof(bytes_) - size_) {
      overflowed_ = true;
      return;
    }
    std::memcpy(bytes_ + size_, piece.data(), piece.size());
    size_ += piece.size();
  }
  bool overflowed() const { return overflowed_; }
  std::string_view text() const { return {bytes_, size_}; }

 private:
  char bytes_[kWholeReportLimit];
  std::size_t size_ = 0;
  bool overflowed_ = false;
};

template <class Sink>
void for_each_piece(const SourceLocation& location, std::string_view message, Sink&& sink) {
  char line[16];
  char column[16];
  const auto line_end = std::to_chars(line, line + sizeof line, location.line).ptr;
  const auto column_end = std::to_chars(column, column + sizeof column, location.column).ptr;
  sink("\nthread '");
  sink(current_thread_name());
  sink("' panicked at ");
  sink(location.file);
  sink(":");
  sink(std::string_view(line, static_cast<std::size_t>(line_end - line)));
  sink(":");
  sink(std::string_view(column, static_cast<std::size_t>(column_end - column)));
  sink(":\n");
  sink(message);
  sink("\n");
}

// Standard error and standard output are written alike.
void write_standard(DWORD which, std::string_view text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr) return;
  DWORD mode = 0;
  // A console with a UTF-8 code page shows the bytes as they are; any other code page would turn
  // the report's characters outside ASCII into its own, so the console gets UTF-16 instead.
  if (GetConsoleMode(handle, &mode) && GetConsoleOutputCP() != CP_UTF8) {
    write_console(handle, text);
  } else {
    write_bytes(handle, text);
  }
}

}  // namespace

void write_stderr(std::string_view text) { write_standard(STD_ERROR_HANDLE, text); }

void write_stdout(std::string_view text) { write_standard(STD_OUTPUT_HANDLE, text); }

void write_failure_report(const SourceLocation& location, std::string_view message) {
  ReportBuffer whole;
  for_each_piece(location, message, [&](std::string_view piece) { whole.append(piece); });
  if (!whole.overflowed()) {
    write_stderr(whole.text());
    return;
  }
  for_each_piece(location, message, [](std::string_view piece) { write_stderr(piece); });
}

void raise_fatal(const SourceLocation& location, std::string_view message) {
  write_failure_report(location, message);
  throw FatalFailure{};
}

}  // namespace orvane::report
