// fwsim's test interface (fwsim/testing.h): the environment controls set directly, views of what
// happened, and the doors that fwsim's own tests and fuzzers use to its readers, notations and
// store. The rule and its line (parse_rule, format_rule) are in firewall_rule_line.cpp, the
// firewall's checks (add_refusal) in firewall_rule_checks.cpp.
#include "fwsim/testing.h"

#include "controls.h"
#include "faults.h"
#include "firewall_store.h"
#include "kernel32.h"
#include "ole32.h"
#include "text.h"
#include "trace.h"

namespace fwsim {
namespace {

// Reads a control's text with `parse` and, when it can be read, hands the value to `set`.
template <class Value, class Set>
bool take_control(std::string_view control, std::string* error,
                  bool (*parse)(std::string_view, Value&, std::string&), Set set) {
  Value value{};
  std::string why;
  if (!parse(control, value, why)) {
    if (error != nullptr) *error = why;
    return false;
  }
  set(std::move(value));
  return true;
}

}  // namespace

void reset() {
  detail::reset_controls();
  detail::clear_error_info();
  detail::reset_apartment();
  detail::rule_store().forget();
  detail::clear_faults();
  detail::reset_trace();
  detail::set_last_error(0);
  detail::reset_console();
}

void set_module_path(std::u16string path) { detail::set_module_path_override(std::move(path)); }

void set_store_path(std::string path) { detail::set_store_path_override(std::move(path)); }

void set_user(User user) { detail::set_user_override(user); }

bool add_faults(std::string_view faults) {
  std::string error;
  return add_faults(faults, error);
}

void set_stderr(StreamKind kind, unsigned code_page) {
  // Only a console has an output code page of its own; see GetConsoleOutputCP.
  detail::set_stderr_setting({kind, kind == StreamKind::Console ? code_page : 437});
}

std::string captured_stderr() { return detail::captured_stderr_bytes(); }

void set_stdout(StreamKind kind, unsigned code_page) {
  detail::set_stdout_setting({kind, kind == StreamKind::Console ? code_page : 437});
}

std::string captured_stdout() { return detail::captured_stdout_bytes(); }

bool set_policy(std::string_view control, std::string* error) {
  return take_control(control, error, &detail::parse_policy_control, &detail::set_policy_state);
}

bool set_products(std::string_view control, std::string* error) {
  return take_control(control, error, &detail::parse_products_control, &detail::set_products);
}

bool set_console_processes(std::string_view control, std::string* error) {
  return take_control(control, error, &detail::parse_console_control,
                      &detail::set_console_processes);
}

void set_stdin(std::string bytes) { detail::set_stdin_bytes(std::move(bytes)); }

void set_call_log(bool keep) { detail::set_call_log_kept(keep); }

std::vector<std::string> call_log() { return detail::call_log_lines(); }

std::vector<std::string> call_names() {
  std::vector<std::string> names;
  for (const std::string& line : detail::call_log_lines()) {
    names.push_back(line.substr(0, line.find(' ')));
  }
  return names;
}

Balance balance() {
  const detail::Counters& c = detail::counters();
  return {c.objects.load(),
          c.bstrs.load(),
          c.arrays.load(),
          c.main_apartments.load(),
          c.errorinfo_threads.load(),
          detail::live_messages().load()};
}

std::string balance_line() { return detail::balance_text(); }

bool add_faults(std::string_view faults, std::string& error) {
  return detail::add_fault_list(faults, error);
}

void clear_faults() { detail::clear_faults(); }

bool take_fault(std::string_view name) { return detail::take_fault(name).has_value(); }

bool is_stderr_control(std::string_view value) {
  detail::StreamSetting setting;
  return detail::parse_stream_control(value, setting);
}

std::u16string decode_control_text(std::string_view utf8) {
  return detail::decode_control_text(utf8);
}

std::string text_form(std::u16string_view units) { return detail::text_form(units); }

bool read_text_form(std::string_view& in, std::u16string& out) {
  return detail::read_text_form(in, out);
}

std::u16string utf8_to_utf16(std::string_view utf8) { return detail::utf8_to_utf16(utf8); }

std::string hresult_text(HRESULT hr) { return detail::hresult_text(hr); }

std::string guid_label(const GUID& guid) { return detail::guid_label(guid); }

std::string next_object_id(std::string_view class_name) {
  return detail::next_object_id(class_name);
}

StoreHandle::StoreHandle() : store_(std::make_unique<detail::RuleStore>()) {}

StoreHandle::~StoreHandle() = default;

std::expected<void, std::string> StoreHandle::check() { return store_->check(); }

std::expected<std::size_t, std::string> StoreHandle::count() { return store_->count(); }

std::expected<std::optional<Rule>, std::string> StoreHandle::find(std::u16string_view name) {
  auto found = store_->find(name);
  if (!found) return std::unexpected(found.error());
  if (!*found) return std::optional<Rule>();
  return std::optional<Rule>((*found)->rule());
}

std::expected<std::vector<std::string>, std::string> StoreHandle::rule_lines() {
  return store_->rule_lines();
}

std::expected<void, std::string> StoreHandle::append(const Rule& rule) {
  return store_->append(rule);
}

std::expected<void, std::string> StoreHandle::clear() { return store_->clear(); }

}  // namespace fwsim
