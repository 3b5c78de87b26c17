// fwsim's kernel32: the own path, system messages, the process heap, standard error and input,
// the console's processes and the environment's expansion.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <unistd.h>

#include <fwsim/testing.h>
#include <fwsim/win32.h>

#include "support/sim_test.h"

namespace {

using namespace std::literals;
using Kernel32Test = orvane::testing::SimTest;

constexpr std::u16string_view kPath = u"C:\\Games\\Orvane\\orvane-firewall.exe";
constexpr DWORD kAllocateFromSystem = 0x1300;  // ALLOCATE_BUFFER | IGNORE_INSERTS | FROM_SYSTEM
constexpr DWORD kFromSystem = 0x1200;          // IGNORE_INSERTS | FROM_SYSTEM
constexpr DWORD kFromModuleThenSystem = 0x1A00;
constexpr DWORD kFromModuleOnly = 0x0A00;

// FormatMessageW into a caller buffer; the text, or nullopt with the last error in `error`.
std::optional<std::u16string> format(DWORD flags, LPCVOID source, DWORD id, DWORD* error) {
  WCHAR buffer[512];
  const DWORD n = FormatMessageW(flags, source, id, 0, buffer, 512, nullptr);
  if (n == 0) {
    *error = GetLastError();
    return std::nullopt;
  }
  EXPECT_EQ(buffer[n], u'\0');
  return std::u16string(buffer, n);
}

TEST_F(Kernel32Test, GetModuleFileNameWGivesThePathAndClearsTheLastError) {
  fwsim::set_module_path(std::u16string(kPath));
  SetLastError(1168);
  WCHAR buffer[128];
  ASSERT_EQ(GetModuleFileNameW(nullptr, buffer, 128), kPath.size());
  EXPECT_EQ(std::u16string_view(buffer), kPath);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(fwsim::call_log()[1], "GetModuleFileNameW null 128 -> 35");
}

TEST_F(Kernel32Test, GetModuleFileNameWTruncatesToSizeMinusOneAndSets122) {
  fwsim::set_module_path(std::u16string(kPath));
  // The exact length leaves no room for the null, so it truncates too.
  for (const DWORD size : {DWORD{1}, DWORD{5}, static_cast<DWORD>(kPath.size())}) {
    SCOPED_TRACE(size);
    std::vector<WCHAR> buffer(size + 1, u'x');
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), size), size);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string_view(buffer.data()), kPath.substr(0, size - 1));
    EXPECT_EQ(buffer[size], u'x') << "wrote past the buffer";
  }
}

TEST_F(Kernel32Test, GetModuleFileNameWKeepsLoneSurrogatesAndFailsOnAFault) {
  const std::u16string path = u"C:\\a\xD800\\b.exe";
  fwsim::set_module_path(path);
  WCHAR buffer[32];
  ASSERT_EQ(GetModuleFileNameW(nullptr, buffer, 32), path.size());
  EXPECT_EQ(std::u16string_view(buffer, path.size()), path);

  ASSERT_TRUE(fwsim::add_faults("GetModuleFileNameW=5"));
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 32), 0u);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(Kernel32Test, DefaultPathIsTheExecutableOnDriveZ) {
  std::string exe(4096, '\0');
  exe.resize(static_cast<std::size_t>(::readlink("/proc/self/exe", exe.data(), exe.size())));
  std::u16string expected = u"Z:" + fwsim::utf8_to_utf16(exe);
  for (auto& unit : expected) unit = unit == u'/' ? u'\\' : unit;
  WCHAR buffer[4200];
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 4200);
  EXPECT_EQ(std::u16string_view(buffer, n), expected);
}

TEST_F(Kernel32Test, ModulePathControlText) {
  const struct {
    std::string_view control;
    std::u16string_view units;
  } cases[] = {
      {"C:\\Games\\x.exe", u"C:\\Games\\x.exe"},  // other backslashes stay
      {"C:\\u{e9}t\\u{E9}", u"C:\u00e9t\u00e9"},
      {"\\u{d800}x", u"\xD800x"},  // a lone surrogate unit
      {"\\u{1F600}", u"\U0001F600"},
      {"\\u{}|\\u{1234567}|\\u{110000}|\\u{41", u"\\u{}|\\u{1234567}|\\u{110000}|\\u{41"},
      {"caf\xC3\xA9", u"caf\u00e9"},
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fwsim::decode_control_text(c.control), c.units) << c.control;
  }
}

struct MessageCase {
  DWORD id;
  std::u16string_view text;
};

constexpr MessageCase kWin32Messages[] = {
    {0, u"The operation completed successfully.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {317,
     u"The system cannot find message text for message number 0x%1 in the message file for "
     u"%2.\r\n"},
    {1168, u"Element not found.\r\n"},
};

TEST_F(Kernel32Test, SystemTableHasWin32CodesAndTheirHresults) {
  for (const auto& [id, text] : kWin32Messages) {
    for (const DWORD code : {id, 0x80070000 | id}) {
      DWORD error = 0;
      EXPECT_EQ(format(kFromSystem, nullptr, code, &error), std::u16string(text)) << code;
    }
  }
  const MessageCase com[] = {
      {0x80004001, u"Not implemented\r\n"},
      {0x80004002, u"No such interface supported\r\n"},
      {0x80004005, u"Unspecified error\r\n"},
      {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
      {0x800401F0, u"CoInitialize has not been called.\r\n"},
      {0x80040154, u"Class not registered\r\n"},
      {0x8000FFFF, u"Catastrophic failure\r\n"},
  };
  for (const auto& [id, text] : com) {
    DWORD error = 0;
    EXPECT_EQ(format(kFromSystem, nullptr, id, &error), std::u16string(text)) << id;
  }
}

TEST_F(Kernel32Test, NtdllTableIsSearchedBeforeTheSystemTable) {
  const HMODULE ntdll = LoadLibraryExA("ntdll.dll", nullptr, 0x1000);
  ASSERT_NE(ntdll, nullptr);
  EXPECT_EQ(GetModuleHandleA("NTDLL.DLL"), ntdll);
  DWORD error = 0;
  EXPECT_EQ(format(kFromModuleThenSystem, ntdll, 0xC0000022, &error),
            u"{Access Denied}\r\nA process has requested access to an object, but has not been "
            u"granted those access rights.\r\n");
  EXPECT_EQ(format(kFromModuleThenSystem, ntdll, 0xC0000034, &error),
            u"Object Name not found.\r\n");
  EXPECT_EQ(format(kFromModuleThenSystem, ntdll, 5, &error), u"Access is denied.\r\n");

  // Each table alone: ntdll has no Win32 codes, the system no native status codes; nor does a
  // null module (a failed load) have any.
  for (const auto& [flags, source, id] :
       {std::tuple{kFromModuleOnly, ntdll, DWORD{5}},
        std::tuple{kFromSystem, ntdll, DWORD{0xC0000022}},
        std::tuple{kFromModuleThenSystem, HMODULE{}, DWORD{0xC0000022}}}) {
    error = 0;
    EXPECT_EQ(format(flags, source, id, &error), std::nullopt) << id;
    EXPECT_EQ(error, ERROR_MR_MID_NOT_FOUND);
  }
  const auto log = fwsim::call_log();
  EXPECT_EQ(log[0], "LoadLibraryExA \"ntdll.dll\" null 0x00001000 -> ntdll");
  EXPECT_EQ(log[1], "GetModuleHandleA \"NTDLL.DLL\" -> ntdll");
  EXPECT_EQ(log[2], "FormatMessageW 0x00001A00 ntdll 0xC0000022 0 -> 109");
}

TEST_F(Kernel32Test, OnlyNtdllCanBeLoaded) {
  EXPECT_EQ(LoadLibraryExA("kernel33.dll", nullptr, 0x1000), nullptr);
  EXPECT_EQ(GetLastError(), 126u);
  EXPECT_EQ(GetModuleHandleA("user32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), 126u);
  EXPECT_EQ(fwsim::call_log()[0], "LoadLibraryExA \"kernel33.dll\" null 0x00001000 -> null");
}

TEST_F(Kernel32Test, AllocatedMessageLivesOnTheProcessHeapUntilHeapFree) {
  WCHAR* message = nullptr;
  ASSERT_EQ(FormatMessageW(kAllocateFromSystem, nullptr, 0x80070005, 0,
                           reinterpret_cast<LPWSTR>(&message), 0, nullptr),
            19u);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(std::u16string_view(message), u"Access is denied.\r\n");
  EXPECT_EQ(fwsim::balance().messages, 1);

  EXPECT_EQ(HeapFree(GetProcessHeap(), 0, message), TRUE);
  EXPECT_EQ(fwsim::balance().messages, 0);
  EXPECT_EQ(HeapFree(GetProcessHeap(), 0, message), FALSE) << "freed twice";
  EXPECT_EQ(fwsim::balance().messages, 0);
  EXPECT_EQ(fwsim::call_log(),
            (std::vector<std::string>{"FormatMessageW 0x00001300 null 0x80070005 0 -> 19",
                                      "GetProcessHeap -> heap", "HeapFree heap 0 buffer#1 -> 1",
                                      "GetProcessHeap -> heap", "HeapFree heap 0 unknown -> 0"}));
}

TEST_F(Kernel32Test, FailedAllocatingCallAllocatesNothingAndNullsThePointer) {
  // An unknown id, a language the tables lack, and an injected fault.
  ASSERT_TRUE(fwsim::add_faults("FormatMessageW#3=8"));
  const struct {
    DWORD language;
    DWORD id;
    DWORD error;
  } cases[] = {{0, 0x12345, ERROR_MR_MID_NOT_FOUND}, {0x0407, 5, 1815}, {0, 5, 8}};
  for (const auto& c : cases) {
    WCHAR stale = u'x';
    WCHAR* message = &stale;
    EXPECT_EQ(FormatMessageW(kAllocateFromSystem, nullptr, c.id, c.language,
                             reinterpret_cast<LPWSTR>(&message), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), c.error) << c.id;
    EXPECT_EQ(message, nullptr) << c.id;
  }
  EXPECT_EQ(fwsim::balance().messages, 0);
}

TEST_F(Kernel32Test, SetDefaultDllDirectoriesTakesTheDocumentedFlagsOnly) {
  ASSERT_TRUE(fwsim::add_faults("SetDefaultDllDirectories#6=5"));
  const struct {
    DWORD flags;
    BOOL result;
    DWORD error;
  } cases[] = {{LOAD_LIBRARY_SEARCH_SYSTEM32, TRUE, 0},
               {0x1E00, TRUE, 0},  // all four together
               {0, FALSE, ERROR_INVALID_PARAMETER},
               {0x100, FALSE, ERROR_INVALID_PARAMETER},  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
               {0x801, FALSE, ERROR_INVALID_PARAMETER},
               {LOAD_LIBRARY_SEARCH_SYSTEM32, FALSE, ERROR_ACCESS_DENIED}};
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(SetDefaultDllDirectories(c.flags), c.result) << c.flags;
    EXPECT_EQ(GetLastError(), c.error) << c.flags;
  }
  EXPECT_EQ(fwsim::call_log()[1], "SetDefaultDllDirectories 0x00000800 -> 1");
}

TEST_F(Kernel32Test, CallerBufferMustHoldTheTextAndItsNull) {
  const std::u16string_view text = u"Access is denied.\r\n";
  std::vector<WCHAR> buffer(text.size() + 1, u'x');
  const auto size = static_cast<DWORD>(text.size());
  EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, 5, 0, buffer.data(), size, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, 5, 0, buffer.data(), size + 1, nullptr), size);
  EXPECT_EQ(std::u16string_view(buffer.data()), text);
}

TEST_F(Kernel32Test, FormatMessageWRefusesWhatItDoesNotSimulate) {
  WCHAR buffer[64];
  // Without FORMAT_MESSAGE_IGNORE_INSERTS, or without any source.
  for (const DWORD flags : {DWORD{0x1000}, DWORD{0x0200}}) {
    EXPECT_EQ(FormatMessageW(flags, nullptr, 5, 0, buffer, 64, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  // The refused calls above count too: these are calls 3 and 4.
  ASSERT_TRUE(fwsim::add_faults("FormatMessageW#4=8"));
  EXPECT_NE(FormatMessageW(kFromSystem, nullptr, 5, 0, buffer, 64, nullptr), 0u);
  EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, 5, 0, buffer, 64, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

TEST_F(Kernel32Test, StandardErrorKinds) {
  const struct {
    fwsim::StreamKind kind;
    bool has_handle;
    BOOL console;
    UINT code_page;
  } cases[] = {
      {fwsim::StreamKind::File, true, FALSE, 437},
      {fwsim::StreamKind::Console, true, TRUE, 850},
      {fwsim::StreamKind::None, false, FALSE, 437},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    fwsim::reset();
    fwsim::set_stderr(c.kind, 850);
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    EXPECT_EQ(handle != nullptr, c.has_handle);
    DWORD mode = 0;
    EXPECT_EQ(GetConsoleMode(handle, &mode), c.console);
    EXPECT_EQ(GetConsoleOutputCP(), c.code_page);

    DWORD written = 0;
    const std::u16string_view wide = u"\u00e9\xD800!";
    const BOOL console_written = WriteConsoleW(handle, wide.data(), 3, &written, nullptr);
    EXPECT_EQ(console_written, c.console);
    const BOOL file_written = WriteFile(handle, "ab\n", 3, &written, nullptr);
    EXPECT_EQ(file_written, c.has_handle ? TRUE : FALSE);
    // WriteConsoleW's units arrive as UTF-8, a lone surrogate as U+FFFD; WriteFile's bytes as is.
    const std::string expected =
        std::string(c.console ? "\xC3\xA9\xEF\xBF\xBD!" : "") + (c.has_handle ? "ab\n" : "");
    EXPECT_EQ(fwsim::captured_stderr(), expected);
  }
}

TEST_F(Kernel32Test, StandardErrorTraceLines) {
  fwsim::set_stderr(fwsim::StreamKind::Console, 437);
  const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  GetConsoleMode(handle, &mode);
  GetConsoleOutputCP();
  WCHAR wide[8];
  const int units = MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9\n", 4, wide, 8);
  WriteConsoleW(handle, wide, static_cast<DWORD>(units), nullptr, nullptr);
  WriteFile(handle, "xyz", 3, nullptr, nullptr);
  EXPECT_EQ(fwsim::call_log(),
            (std::vector<std::string>{
                "GetStdHandle -12 -> stderr", "GetConsoleMode stderr -> 1",
                "GetConsoleOutputCP -> 437", "MultiByteToWideChar 65001 0 4 8 -> 3",
                "WriteConsoleW stderr \"h\u00e9\\n\" 3 -> 1", "WriteFile stderr 3 -> 1"}));
}

TEST_F(Kernel32Test, MultiByteToWideCharReplacesInvalidSequences) {
  const struct {
    std::string_view bytes;
    std::u16string_view units;
  } cases[] = {
      {"abc", u"abc"},
      {"\xC3\xA9\xF0\x9F\x98\x80", u"\u00e9\U0001F600"},
      {"a\xE2\x82", u"a\uFFFD"},                // a truncated sequence is one U+FFFD
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // an overlong form, byte by byte
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
      {"x\0y"sv, u"x\0y"sv},
  };
  for (const auto& c : cases) {
    const auto count = static_cast<int>(c.bytes.size());
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.bytes.data(), count, nullptr, 0),
              static_cast<int>(c.units.size()));
    std::vector<WCHAR> wide(c.units.size());
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.bytes.data(), count, wide.data(),
                                  static_cast<int>(wide.size())),
              static_cast<int>(c.units.size()));
    EXPECT_EQ(std::u16string_view(wide.data(), wide.size()), c.units);
  }
}

TEST_F(Kernel32Test, MultiByteToWideCharCapacity) {
  WCHAR wide[4];
  // -1: up to and with the null.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 4), 4);
  EXPECT_EQ(std::u16string_view(wide, 4), u"abc\0"sv);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, wide, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Kernel32Test, WriteFailuresFromFaultsWriteNothing) {
  ASSERT_TRUE(fwsim::add_faults("WriteFile=6;GetConsoleMode=5"));
  const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 99;
  EXPECT_EQ(WriteFile(handle, "abc", 3, &written, nullptr), FALSE);
  EXPECT_EQ(GetLastError(), 6u);
  EXPECT_EQ(written, 0u);
  DWORD mode = 0;
  EXPECT_EQ(GetConsoleMode(handle, &mode), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(fwsim::captured_stderr(), "");
}

// The number of processes on the console, as FWSIM_CONSOLE_PROCESSES says; this process first.
TEST_F(Kernel32Test, ConsoleProcessListFollowsTheControl) {
  const struct {
    std::string_view control;  // empty: the default
    DWORD room, result, error;
  } cases[] = {{"", 4, 2, 0},  {"1", 4, 1, 0},  {"0", 4, 0, 6},
               {"3", 2, 3, 0}, {"0", 0, 0, 87}, {"64", 64, 64, 0}};
  for (const auto& c : cases) {
    fwsim::reset();
    ASSERT_TRUE(c.control.empty() || fwsim::set_console_processes(c.control));
    std::vector<DWORD> ids(64, 0);
    SetLastError(0);
    EXPECT_EQ(GetConsoleProcessList(ids.data(), c.room), c.result) << c.control;
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(ids[0], c.result != 0 && c.result <= c.room ? static_cast<DWORD>(::getpid()) : 0);
    EXPECT_EQ(std::ranges::count(ids, 0), c.result <= c.room ? 64 - c.result : 64);
  }
  EXPECT_EQ(fwsim::call_log()[1], "GetConsoleProcessList ptr 64 -> 64");
}

// ReadFile gives the bytes; ReadConsoleW their UTF-16, no more than asked, the rest (even half a
// surrogate pair) kept for the next read. At the end of input both succeed with nothing read.
TEST_F(Kernel32Test, StandardInputAsBytesAndAsUnitsThenTheEnd) {
  fwsim::set_stdin("h\xC3\xA9!");
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char bytes[8] = {};
  DWORD read = 99;
  for (const std::string_view expected : {"h\xC3"sv, "\xA9!"sv, ""sv}) {
    EXPECT_EQ(ReadFile(input, bytes, 2, &read, nullptr), TRUE);
    EXPECT_EQ(std::string_view(bytes, read), expected);
  }
  fwsim::set_stdin("\xC3\xA9t\xF0\x9F\x98\x80\xFF\n");
  const struct {
    DWORD count;
    std::u16string_view units;
  } steps[] = {{1, u"\u00e9"},   {2, u"t"}, {1, u"\xD83D"}, {8, u"\xDE00"},
               {8, u"\uFFFD\n"}, {8, u""},  {0, u""}};
  for (const auto& step : steps) {
    WCHAR units[8] = {};
    EXPECT_EQ(ReadConsoleW(input, units, step.count, &read, nullptr), TRUE);
    EXPECT_EQ(std::u16string_view(units, read), step.units) << step.count;
  }
  const std::vector<std::string> log = fwsim::call_log();
  EXPECT_EQ(
      log[0] + "; " + log[1] + "; " + log[4],
      "GetStdHandle -10 -> stdin; ReadFile stdin 2 -> 1 2; ReadConsoleW stdin 1 -> 1 \"\u00e9\"");
}

// %NAME% of the environment's variables, names without letter case; everything else as written.
TEST_F(Kernel32Test, ExpandEnvironmentStringsWKeepsWhatItCannotExpand) {
  ASSERT_EQ(::setenv("FWSIM_TEST_GAMES", "C:\\Games \xC3\xA9", 1), 0);
  ::unsetenv("FWSIM_TEST_NONE");
  const struct {
    std::u16string_view source, expanded;
  } cases[] = {
      {u"%FWSIM_TEST_GAMES%\\x", u"C:\\Games \u00e9\\x"},
      {u"%fwsim_test_Games%%FWSIM_TEST_GAMES%", u"C:\\Games \u00e9C:\\Games \u00e9"},
      {u"%FWSIM_TEST_NONE%", u"%FWSIM_TEST_NONE%"},
      {u"%FWSIM_TEST_NONE%FWSIM_TEST_GAMES%", u"%FWSIM_TEST_NONE%FWSIM_TEST_GAMES%"},
      {u"%FWSIM_TEST_NONE%%FWSIM_TEST_GAMES%%", u"%FWSIM_TEST_NONE%C:\\Games \u00e9%"},
      {u"%%FWSIM_TEST_GAMES%100%", u"%%FWSIM_TEST_GAMES%100%"},
  };
  for (const auto& c : cases) {
    const auto needed = static_cast<DWORD>(c.expanded.size() + 1);
    std::vector<WCHAR> buffer(needed + 1, u'x');
    EXPECT_EQ(ExpandEnvironmentStringsW(c.source.data(), buffer.data(), needed - 1), needed);
    EXPECT_EQ(buffer[0], u'x') << "wrote what does not fit";
    EXPECT_EQ(ExpandEnvironmentStringsW(c.source.data(), buffer.data(), needed), needed);
    EXPECT_EQ(std::u16string_view(buffer.data()), c.expanded);
  }
  ::unsetenv("FWSIM_TEST_GAMES");
  EXPECT_EQ(fwsim::call_log()[0], "ExpandEnvironmentStringsW \"%FWSIM_TEST_GAMES%\\\\x\" 12 -> 13");
}

TEST_F(Kernel32Test, FastFailEndsTheProcessBySigabrt) {
  EXPECT_EXIT(__fastfail(FAST_FAIL_FATAL_APP_EXIT), ::testing::KilledBySignal(SIGABRT), "");
}

}  // namespace
