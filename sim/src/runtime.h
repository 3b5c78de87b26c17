// fwsim's shared machinery: controls, faults, the trace and call log, counters, and the helpers
// every simulated call uses. Internal to fwsim.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fwsim/testing.h"
#include "fwsim/win32.h"

namespace fwsim::detail {

// ----- Controls ------------------------------------------------------------------------------
// Reads the environment controls once, at the first simulated call of the process (unless a test
// has called reset()). A fault list that cannot be read ends the process here with a one-line
// message on standard error and exit status 3.
void start();

// The rule store's path: FWSIM_STORE, or $XDG_STATE_HOME/fwsim/rules, or
// ~/.local/state/fwsim/rules, with the current folder for `~` when HOME is unset or empty.
std::string store_path();

// Whose rights the program runs with (FWSIM_USER, or a test's choice).
User user();

// ----- Faults --------------------------------------------------------------------------------
struct Fault {
  std::int64_t result = 0;  // the HRESULT to return, or the last error to set
  bool null_out = false;    // `null`: return S_OK and leave the out-pointer null
  std::optional<std::u16string> desc;
  std::optional<std::u16string> restricted;
};

// Counts one call of `name` (as the trace writes it) and returns the fault that applies to this
// call, if any. Every simulated call that can be made to fail calls this exactly once.
std::optional<Fault> take_fault(std::string_view name);

// Leaves on the calling thread the error information that a failing call leaves: an ErrorInfo
// object made from the fault's `desc=` / `restricted=` texts, or none when it has neither.
void leave_error_info(const Fault& fault);
// Leaves an ErrorInfo object with this description (fwsim's own failures, such as a damaged store).
void leave_error_info(std::u16string_view description);
// Clears the calling thread's error information.
void clear_error_info();

// ----- Trace ---------------------------------------------------------------------------------
// Records one call as `NAME ARGS -> RESULT` (ARGS may be empty) in the call log and, when
// FWSIM_TRACE is set, appends it to that file.
void trace(std::string_view name, std::string_view args, std::string_view result);

// A new id for an object of `class_name`: "NetFwRule#1", "NetFwRule#2", ...
std::string next_object_id(std::string_view class_name);

// A GUID as the trace writes it: the name of a known interface or class (IUnknown, IErrorInfo,
// IRestrictedErrorInfo, INetFwPolicy2, INetFwRules, INetFwRule, NetFwPolicy2, NetFwRule), or
// `{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}` in upper case.
std::string guid_label(const GUID& guid);

// ----- Counters (the trace's balance line) ---------------------------------------------------
struct Counters {
  std::atomic<long> objects{0};
  std::atomic<long> bstrs{0};
  std::atomic<long> arrays{0};
  std::atomic<long> main_apartments{0};
  std::atomic<long> errorinfo_threads{0};
};
Counters& counters();
std::atomic<long>& live_messages();  // FormatMessageW buffers not yet freed
bool is_main_thread();

// Resets the COM side (apartments of the calling thread, object numbering, the store's cache).
// Part of fwsim::reset(); defined with the firewall simulation.
void reset_com_state();

// ----- Strings -------------------------------------------------------------------------------
// fwsim's text form: quoted, every UTF-16 text (lone surrogates too) survives a round trip.
std::string text_form(std::u16string_view units);
// Reads one text in fwsim's text form from the front of `in`, advancing it. False when malformed.
bool read_text_form(std::string_view& in, std::u16string& out);
// An HRESULT as the trace writes it: 0x and eight upper-case hex digits.
std::string hresult_text(HRESULT hr);
// UTF-8 to UTF-16 where `\u{X}` (1 to 6 hex digits) stands for one code point or one lone
// surrogate unit and any other backslash is literal (FWSIM_MODULE_PATH).
std::u16string decode_control_text(std::string_view utf8);
std::string utf16_to_utf8(std::u16string_view units);  // lone surrogates become U+FFFD
std::u16string utf8_to_utf16(std::string_view utf8);

// A BSTR that fwsim itself hands out (a property get, an error description): counted in the
// balance but neither traced nor subject to faults. Never null, even for an empty text.
BSTR make_bstr(std::u16string_view text);
std::u16string_view bstr_view(BSTR text);
// A short label for a BSTR in the trace: its text form, or `null`.
std::string bstr_label(BSTR text);
// Frees a BSTR without a trace line (fwsim's own clean-up). NULL does nothing. A string that is
// not live (freed twice, never allocated) ends the process with a message: heap corruption.
void free_bstr(BSTR text);

// ----- VARIANTs ------------------------------------------------------------------------------
// What SafeArrayPutElement stores, and what a property get hands out: `target` (whose old content
// is not looked at) becomes a copy of `source`, a BSTR duplicated with make_bstr, an array of
// VARIANTs copied element by element. Untraced. DISP_E_BADVARTYPE for a type fwsim does not hold
// (it holds VT_EMPTY, VT_I4, VT_BOOL, VT_BSTR, VT_UNKNOWN and VT_ARRAY | VT_VARIANT).
HRESULT copy_variant(VARIANT& target, const VARIANT& source);
// Frees what `value` holds, as VariantClear does but untraced, and leaves it VT_EMPTY.
HRESULT clear_variant(VARIANT& value);

}  // namespace fwsim::detail
