// fwsim's controls as the environment gives them. FWSIM_FAIL: a list is taken whole or refused
// whole with a reason that keeps fwsim's message to one line; a list that is taken makes its first
// fault apply to the call it names. FWSIM_STDERR, FWSIM_POLICY, FWSIM_PRODUCTS,
// FWSIM_CONSOLE_PROCESSES and FWSIM_MODULE_PATH: any text is read or refused (with a one-line
// reason), never a crash; a module path without backslashes is plain UTF-8, decoded as Windows
// does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <fwsim/testing.h>

#include "reference_unicode.h"

namespace {

using namespace orvane::fuzz;
namespace sim = fwsim;

constexpr std::string_view kCalls[] = {"GetModuleFileNameW",
                                       "FormatMessageW",
                                       "LoadLibraryExA",
                                       "GetModuleHandleA",
                                       "GetConsoleMode",
                                       "MultiByteToWideChar",
                                       "WriteConsoleW",
                                       "WriteFile",
                                       "SysAllocStringLen",
                                       "SafeArrayCreateVector",
                                       "SafeArrayPutElement",
                                       "SafeArrayDestroy",
                                       "VariantClear",
                                       "GetErrorInfo",
                                       "SetErrorInfo",
                                       "IUnknown::QueryInterface",
                                       "IErrorInfo::GetDescription",
                                       "IRestrictedErrorInfo::GetErrorDetails",
                                       "IRestrictedErrorInfo::GetReference",
                                       "CoInitializeEx",
                                       "CoCreateInstance",
                                       "INetFwPolicy2::get_Rules",
                                       "INetFwRules::get_Count",
                                       "INetFwRules::Add",
                                       "INetFwRules::Item",
                                       "INetFwRule::put_Name",
                                       "INetFwRule::get_Name"};

// The call and the number of the first fault of a list that was taken.
struct FirstFault {
  std::string call;
  long nth = 1;
};

// The first item that is not empty, read the simple way: up to `=`, then `#N` split off.
FirstFault first_fault(std::string_view list) {
  std::size_t start = 0;
  while (start < list.size() && list[start] == ';') ++start;
  const std::string_view head = list.substr(start, list.find('=', start) - start);
  FirstFault first{std::string(head), 1};
  if (const std::size_t hash = head.find('#'); hash != std::string_view::npos) {
    first.call = head.substr(0, hash);
    first.nth = std::stol(std::string(head.substr(hash + 1)));
  }
  return first;
}

void check_fault_list(std::string_view list) {
  sim::clear_faults();
  std::string error;
  if (!sim::add_faults(list, error)) {
    const std::string message = "fwsim: FWSIM_FAIL: " + error;
    check(!error.empty(), "a fault list is refused without a reason");
    for (const char c : message) {
      check(c != '\n' && c != '\r', "the refusal of a fault list is more than one line");
    }
    for (const std::string_view call : kCalls) {
      check(!sim::take_fault(call), "a refused fault list left a fault behind");
    }
    return;
  }
  bool any = false;
  for (const char c : list) any = any || c != ';';
  if (!any) return;
  const FirstFault first = first_fault(list);
  if (first.nth > 1000) return;  // counting that far proves nothing more
  bool faulted = false;
  for (long n = 1; n <= first.nth; ++n) faulted = sim::take_fault(first.call);
  check(faulted, "a taken fault does not apply to the call it names");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fwsim::reset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_fault_list(text);

  (void)sim::is_stderr_control(text);
  for (const auto set : {&sim::set_policy, &sim::set_products, &sim::set_console_processes}) {
    std::string why;
    if (!set(text, &why))
      check(!why.empty() && why.find_first_of("\r\n") == std::string::npos,
            "a refused policy, products or console control has no one-line reason");
  }

  const std::u16string path = sim::decode_control_text(text);
  if (text.find('\\') == std::string_view::npos) {
    check(path == encode_utf16(decode_utf8(text, /*surrogates=*/false)),
          "a module path without escapes is not its UTF-8");
  }
  return 0;
}
