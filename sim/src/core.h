// The parts of fwsim's core that only its own calls and its test interface use: the controls as
// they stand, the simulated standard error, the fault table and the thread state that several
// simulated calls share. The machinery that every part of fwsim uses is in runtime.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "fwsim/testing.h"
#include "fwsim/win32.h"
#include "runtime.h"

namespace fwsim::detail {

// ----- Controls ------------------------------------------------------------------------------
// The path GetModuleFileNameW reports: FWSIM_MODULE_PATH, a test's path, or the mapped
// /proc/self/exe.
std::u16string module_path();

struct StderrSetting {
  StderrKind kind = StderrKind::File;
  unsigned code_page = 437;
};
StderrSetting stderr_setting();
// Reads FWSIM_STDERR's value (`file`, `none`, `console:CP`). False when it cannot be read.
bool parse_stderr_control(std::string_view text, StderrSetting& out);

// Writes bytes where the program's standard error goes: fd 2, or the test capture after reset().
void write_stderr(std::string_view bytes);

// Test interface plumbing (fwsim/testing.h).
void reset_runtime();
void set_module_path_override(std::u16string path);
void set_store_path_override(std::string path);
void set_user_override(User user);
void set_stderr_setting(StderrSetting setting);
void set_call_log_kept(bool keep);
std::string captured_stderr_bytes();
std::vector<std::string> call_log_lines();
// `balance objects=A bstrs=B arrays=C apartments=D errorinfo=E` from the counters as they stand.
std::string balance_text();

// ----- Faults --------------------------------------------------------------------------------
// Parses a fault list as FWSIM_FAIL writes it and adds it to the table, all or nothing. On a text
// that cannot be read, returns false and says why in `error`.
bool add_fault_list(std::string_view faults, std::string& error);
// Forgets every fault and every call count.
void clear_faults();

// ----- Thread state --------------------------------------------------------------------------
// The last error of the calling thread, set without a trace line (the failure path of a call).
void set_last_error(DWORD error);

// ----- Text ----------------------------------------------------------------------------------
// Reads `\u{X}` (1 to 6 hex digits, at most 0x10FFFF) with `pos` on the `u`; appends one code
// point, or one unit for a surrogate value, and moves `pos` past the `}`. False (nothing appended,
// `pos` unchanged) when the text there is not such an escape.
bool read_unicode_escape(std::string_view text, std::size_t& pos, std::u16string& out);
// Decodes one UTF-8 sequence at `pos`, moving past it. An invalid sequence gives U+FFFD and moves
// past its maximal valid prefix (at least one byte), as Windows' converter does; `valid` tells.
char32_t read_utf8(std::string_view text, std::size_t& pos, bool& valid);
void append_utf16(std::u16string& out, char32_t code_point);
// Bytes as a one-line message shows them: tab, line feed and carriage return as \t, \n, \r, the
// other control bytes as \u{X}, everything else as it is, so that a control or a store line
// holding a line break cannot stretch fwsim's message over several lines.
std::string one_line(std::string_view text);

}  // namespace fwsim::detail
