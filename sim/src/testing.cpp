// fwsim's test interface: the environment controls set directly, and views of what happened.
#include "fwsim/testing.h"

#include "controls.h"
#include "faults.h"
#include "firewall_store.h"
#include "ole32.h"
#include "trace.h"

namespace fwsim {

void reset() {
  detail::reset_controls();
  detail::clear_error_info();
  detail::reset_apartment();
  detail::rule_store().forget();
  detail::clear_faults();
  detail::reset_trace();
  detail::set_last_error(0);
}

void set_module_path(std::u16string path) { detail::set_module_path_override(std::move(path)); }

void set_store_path(std::string path) { detail::set_store_path_override(std::move(path)); }

void set_user(User user) { detail::set_user_override(user); }

bool add_faults(std::string_view faults) {
  std::string error;
  return detail::add_fault_list(faults, error);
}

void set_stderr(StderrKind kind, unsigned code_page) {
  // Only a console has an output code page of its own; see GetConsoleOutputCP.
  detail::set_stderr_setting({kind, kind == StderrKind::Console ? code_page : 437});
}

std::string captured_stderr() { return detail::captured_stderr_bytes(); }

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

}  // namespace fwsim
