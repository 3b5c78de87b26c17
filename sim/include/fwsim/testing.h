// fwsim's own C++ interface for tests: what the environment controls do for a process, done
// directly, plus views of the call log and the counters; and, for the tests and fuzzers of fwsim
// itself, its readers of controls, its notations and its rule store. Tests reach fwsim through
// this header and the platform's names in fwsim/win32.h, never through sim/src. Product code
// never includes this. Each section names the files of sim/src that implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fwsim/win32.h"

namespace fwsim {

// ---------------------------------------------------------------------------------------------
// The firewall's classes and interfaces, as the Windows SDK's netfw.h names them (firewall.cpp)

inline constexpr CLSID kClsidNetFwPolicy2 = {
    0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
inline constexpr CLSID kClsidNetFwRule = {
    0x2C5BC43E, 0x3369, 0x4C33, {0xAB, 0x0C, 0xBE, 0x94, 0x69, 0x67, 0x7A, 0xF4}};
inline constexpr IID kIidINetFwPolicy2 = {
    0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
inline constexpr IID kIidINetFwRules = {
    0x9C4C6277, 0x5027, 0x441E, {0xAF, 0xAE, 0xCA, 0x1F, 0x54, 0x2D, 0xA0, 0x09}};
inline constexpr IID kIidINetFwRule = {
    0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};
inline constexpr CLSID kClsidNetFwProducts = {
    0xCC19079B, 0x8272, 0x4D73, {0xBB, 0x70, 0xCD, 0xB5, 0x33, 0x52, 0x7B, 0x61}};
inline constexpr IID kIidINetFwProducts = {
    0x39EB36E0, 0x2097, 0x40BD, {0x8A, 0xF2, 0x63, 0xA1, 0x3B, 0x52, 0x53, 0x62}};
inline constexpr IID kIidINetFwProduct = {
    0x71881699, 0x18F4, 0x458B, {0xB8, 0x92, 0x3F, 0xFC, 0xE5, 0xE0, 0x7F, 0x75}};

// ---------------------------------------------------------------------------------------------
// A clean state and the controls (testing.cpp, controls.cpp, controls_firewall.cpp, faults.cpp)

// Returns fwsim to a clean state for the next test: no faults, an empty call log, no trace file,
// zeroed counters and fault counts, no apartments or error information on the calling thread, last
// error 0, the default module path, an administrator, standard error captured in memory (kind
// `file`), the default policy state, no products, two console processes, an empty standard input,
// and the store path left as it is. After reset() the environment controls are no longer
// read.
void reset();

// GetModuleFileNameW reports this path from now on. UTF-16 units; lone surrogates allowed.
void set_module_path(std::u16string path);

// The rule store file that the simulated firewall reads and writes.
void set_store_path(std::string path);

// Whose rights the program runs with, as FWSIM_USER says: an administrator may do everything; a
// standard user's INetFwRules::Add and Remove answer E_ACCESSDENIED and change nothing. reset()
// makes the user an administrator again.
enum class User { Admin, Standard };
void set_user(User user);

// Adds faults written as FWSIM_FAIL writes them. Returns false, adding nothing, when the text
// cannot be read.
bool add_faults(std::string_view faults);

// How a standard stream looks to the program: a file (GetConsoleMode fails), a console with the
// given output code page, or absent (GetStdHandle gives NULL). set_stderr sets standard error.
enum class StreamKind { File, Console, None };
void set_stderr(StreamKind kind, unsigned code_page = 65001);

// What the program wrote to standard error since reset(), as UTF-8 bytes (WriteFile's bytes as
// they are; WriteConsoleW's units converted to UTF-8).
std::string captured_stderr();

// The same for standard output (FWSIM_STDOUT): how it looks to the program, and what the program
// wrote to it since reset().
void set_stdout(StreamKind kind, unsigned code_page = 65001);
std::string captured_stdout();

// The firewall's policy state, its registered products and the console's processes, each given as
// its control is written (FWSIM_POLICY, FWSIM_PRODUCTS, FWSIM_CONSOLE_PROCESSES). Returns false,
// changing nothing, when the text cannot be read; `error` (when given) says why, as fwsim's
// one-line message does after `fwsim: NAME: `. reset() gives the defaults back.
bool set_policy(std::string_view control, std::string* error = nullptr);
bool set_products(std::string_view control, std::string* error = nullptr);
bool set_console_processes(std::string_view control, std::string* error = nullptr);

// What the program reads from standard input: these bytes, then the end of input. reset() leaves
// none, so a read finds the end of input at once.
void set_stdin(std::string bytes);

// ---------------------------------------------------------------------------------------------
// What happened (trace.cpp)

// Every simulated call since reset(), one trace line each (`NAME ARG... -> RESULT`), oldest first.
// Only calls made while the log is kept are in it.
std::vector<std::string> call_log();

// Whether the call log keeps each call's line: on after reset(). Turning it off empties it; a
// benchmark that makes millions of calls turns it off, or the log grows by a line each call until
// memory runs out. Before the first reset() (a process steered by the environment) no log is kept
// and this does nothing: such a process has only the trace file.
void set_call_log(bool keep);

// The NAME part of every call since reset(), oldest first.
std::vector<std::string> call_names();

struct Balance {
  long objects = 0;     // COM objects alive, the store itself not counted
  long bstrs = 0;       // BSTRs allocated and not freed
  long arrays = 0;      // SAFEARRAYs not destroyed
  long apartments = 0;  // unbalanced COM initialisations of the calling thread
  long errorinfo = 0;   // threads holding error information
  long messages = 0;    // FormatMessageW buffers not yet freed with HeapFree (not in the line)
  bool operator==(const Balance&) const = default;
};
Balance balance();

// The balance as the trace's last line writes it: `balance objects=A bstrs=B ...`.
std::string balance_line();

// ---------------------------------------------------------------------------------------------
// The controls' readers, for the tests and fuzzers of fwsim's controls (faults.cpp, controls.cpp,
// text.cpp)

// add_faults() that says why a text cannot be read: `error` is what fwsim's one-line message
// shows after `fwsim: FWSIM_FAIL: `.
bool add_faults(std::string_view faults, std::string& error);
// Forgets every fault and every call count, and nothing else.
void clear_faults();
// Counts one call of `name` (as the trace writes it), as the simulated call of that name does,
// and tells whether a fault applies to this call.
bool take_fault(std::string_view name);
// Whether a value of FWSIM_STDERR can be read (`file`, `none`, `console:CP`). Changes nothing.
bool is_stderr_control(std::string_view value);
// A value of FWSIM_MODULE_PATH as GetModuleFileNameW reports it: UTF-8, where `\u{X}` (1 to 6 hex
// digits) stands for one code point or one lone surrogate unit and any other backslash is literal.
std::u16string decode_control_text(std::string_view utf8);

// ---------------------------------------------------------------------------------------------
// fwsim's notations, as the trace and the rule store write them (text.cpp, trace.cpp)

// fwsim's text form: quoted, every UTF-16 text (lone surrogates too) survives a round trip.
std::string text_form(std::u16string_view units);
// Reads one text in fwsim's text form from the front of `in`, advancing it. False when malformed.
bool read_text_form(std::string_view& in, std::u16string& out);
// UTF-8 to UTF-16, as fwsim converts the Linux path of the executable; an invalid sequence gives
// U+FFFD.
std::u16string utf8_to_utf16(std::string_view utf8);
// An HRESULT as the trace writes it: 0x and eight upper-case hex digits.
std::string hresult_text(HRESULT hr);
// A GUID as the trace writes it: the name of an interface or class fwsim knows, or
// `{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}` in upper case.
std::string guid_label(const GUID& guid);
// Takes the next id of an object of `class_name`, as the trace numbers them: "NetFwRule#1", ...
std::string next_object_id(std::string_view class_name);

// ---------------------------------------------------------------------------------------------
// The rule store: a rule, its line, the firewall's checks, and the file (firewall_rule_line.cpp,
// firewall_rule_checks.cpp, firewall_store.cpp)

// The INetFwRule properties, spelled as the type library spells them (serviceName included).
enum class Prop : std::uint8_t {
  Name,
  Description,
  ApplicationName,
  serviceName,
  Protocol,
  LocalPorts,
  RemotePorts,
  LocalAddresses,
  RemoteAddresses,
  IcmpTypesAndCodes,
  Direction,
  Interfaces,
  InterfaceTypes,
  Enabled,
  Grouping,
  Profiles,
  EdgeTraversal,
  Action,
};

// Interfaces: nullopt stands for a VT_EMPTY value.
using InterfaceList = std::optional<std::vector<std::u16string>>;
// A text (a null BSTR is the empty text), a number (a LONG, one of the firewall's enumerations,
// or a VARIANT_BOOL as the number that was put), or the interfaces.
using PropValue = std::variant<std::u16string, std::int32_t, InterfaceList>;

struct Property {
  Prop prop;
  PropValue value;
  bool operator==(const Property&) const = default;
};

// A rule is the properties that were put on it, in the order each was first put.
using Rule = std::vector<Property>;

// The rule's line in the store: `Name="x" Direction=1 Interfaces=["a","b"]`.
std::string format_rule(const Rule& rule);
// Reads a whole rule line, or says in one line why it cannot. Each property may be given once.
std::expected<Rule, std::string> parse_rule(std::string_view line);

// Why the firewall refuses to add `rule` (INetFwRules::Add answers E_INVALIDARG), as one line
// naming the property and the check, or nullopt when it takes the rule.
std::optional<std::string> add_refusal(const Rule& rule);

namespace detail {
class RuleStore;
}

// A rule store of its own on the file at the store path, such as another process using the same
// file has. The firewall's objects share the process's store; a test makes these to play other
// processes or to look at the file as the firewall does. Each keeps its own copy of the file in
// memory and sees another writer's change at its next call. A store with a line that cannot be
// read refuses every call and is never overwritten. Errors are one-line descriptions.
class StoreHandle {
 public:
  StoreHandle();
  StoreHandle(const StoreHandle&) = delete;
  StoreHandle& operator=(const StoreHandle&) = delete;
  ~StoreHandle();

  // Whether the store can be read at all.
  std::expected<void, std::string> check();
  std::expected<std::size_t, std::string> count();
  // The first rule of exactly this name, or nullopt.
  std::expected<std::optional<Rule>, std::string> find(std::u16string_view name);
  // The rule lines as they stand in the file, comments left out.
  std::expected<std::vector<std::string>, std::string> rule_lines();
  // Appends a rule; the firewall's checks (add_refusal) are the caller's.
  std::expected<void, std::string> append(const Rule& rule);
  // Removes every rule; comments stay.
  std::expected<void, std::string> clear();

 private:
  std::unique_ptr<detail::RuleStore> store_;
};

}  // namespace fwsim
