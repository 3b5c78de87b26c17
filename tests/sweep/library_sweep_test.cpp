// The fault sweep, in-process, for a rule with every optional field present: the program's own six
// rules never reach the port, address and interface encoders, the interface-name array or its
// VariantClear, so those calls are failed one at a time here, through add_if_not_exists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "firewall/add_if_not_exists.h"
#include "firewall/firewall_error.h"
#include "report/failure_report.h"
#include "support/firewall_sim_support.h"
#include "support/sim_test.h"
#include "sweep/sweep_oracle.h"

namespace fwsim {
// Shows a balance as the trace's line does, in failure messages.
void PrintTo(const Balance& balance, std::ostream* out) {
  *out << "objects=" << balance.objects << " bstrs=" << balance.bstrs
       << " arrays=" << balance.arrays << " apartments=" << balance.apartments
       << " errorinfo=" << balance.errorinfo << " messages=" << balance.messages;
}
}  // namespace fwsim

namespace {

using namespace orvane::firewall;
using namespace orvane::sweep;

using orvane::testing::full_rule;

struct Attempt {
  std::string result;  // "added", "stop: <report>", or the error's detailed form
  fwsim::Balance balance;
  std::string store;
  std::vector<std::string> log;
};

// What one attempt must give.
struct Expected {
  std::string result;
  bool added = false;
  // What a failed VariantClear or SafeArrayDestroy leaves allocated, as Windows leaves it.
  fwsim::Balance leak;
  // The fault left error information after a call whose error information nobody reads.
  bool unread_error_info_allowed = false;
};

class LibrarySweepTest : public orvane::testing::SimTest {
 protected:
  Attempt attempt(const std::string& faults) {
    fwsim::reset();
    std::filesystem::remove(store());
    Attempt a;
    EXPECT_TRUE(fwsim::add_faults(faults)) << faults;
    try {
      const auto added = add_if_not_exists(full_rule());
      if (added) {
        a.result = *added ? "added" : "found";
      } else {
        orvane::firewall::detailed_form(added.error(), a.result);
      }
    } catch (const orvane::report::FatalFailure&) {
      a.result = "stop: " + fwsim::captured_stderr();
    }
    // Taken once the error is gone, with what it held.
    a.balance = fwsim::balance();
    std::ifstream in(store());
    std::ostringstream text;
    text << in.rdbuf();
    a.store = text.str();
    a.log = fwsim::call_log();
    return a;
  }
};

Trace trace_of(const std::vector<std::string>& log) {
  std::string text;
  for (const auto& line : log) text += line + "\n";
  return parse_trace(text);
}

// Calls after which nothing reads the thread's error information: their results are ignored or,
// for CoInitializeEx, only the system's text for the code is kept.
bool error_info_unread(const std::string& name) {
  return name == "CoInitializeEx" || name == "GetErrorInfo" || name == "IUnknown::QueryInterface" ||
         name == "IErrorInfo::GetDescription" || name == "SafeArrayDestroy";
}

constexpr const char* kUnspecified = "Unspecified error";
constexpr const char* kNoMemory =
    "Not enough memory resources are available to process this command.";

std::string windows_error(const char* code, const std::string& message) {
  return std::string("WindowsError(Error { code: HRESULT(") + code + "), message: \"" + message +
         "\" })";
}

// What add_if_not_exists must give when `primary` fails, and `way_out` (if any) fails after it on
// the way out. `clears` counts the VariantClear calls of the clean run: one per interface name,
// then the array's, which holds both names.
std::optional<Expected> expected_for(const Fault& primary, const std::optional<Fault>& way_out,
                                     long clears) {
  const std::string out = way_out ? way_out->name : "";
  Expected e;
  e.unread_error_info_allowed =
      (error_info_unread(primary.name) && primary.mode == Mode::ErrorWithInfo) ||
      (way_out && error_info_unread(out) && way_out->mode == Mode::ErrorWithInfo);
  // The text an error without error information shows: the system's, unless it cannot be had.
  auto system_text = [&](const char* text) { return out == "FormatMessageW" ? "" : text; };

  const std::string& name = primary.name;
  if (name == "SysAllocStringLen") {
    e.result = "stop";
  } else if (name == "CoInitializeEx") {
    e.result = std::string("CoInitializeExFailed(\"") + system_text(kUnspecified) + "\")";
  } else if (name == "CoCreateInstance" || name == "INetFwPolicy2::get_Rules" ||
             name == "INetFwRules::Add" || name == "SafeArrayPutElement" ||
             name.starts_with("INetFwRule::put_")) {
    if (primary.mode == Mode::Null) {
      e.result = windows_error("0x00000000", system_text("The operation completed successfully."));
    } else if (out == "GetErrorInfo") {
      e.result = windows_error("0x80004005", system_text(kUnspecified));
    } else {
      e.result = windows_error("0x80004005", out == "IErrorInfo::GetDescription" ? "" : "swept");
    }
  } else if (name == "SafeArrayCreateVector") {
    // Reported through the last error (8), with no error information.
    e.result = windows_error("0x80070008", system_text(kNoMemory));
  } else if (name == "INetFwRules::Item" || name == "GetErrorInfo") {
    e.result = "added";
    e.added = true;
  } else if (name == "VariantClear") {
    // Ignored by design: the rule is added, and the name or the array stays allocated.
    e.result = "added";
    e.added = true;
    e.leak.bstrs = primary.occurrence == clears ? 2 : 1;
    e.leak.arrays = primary.occurrence == clears ? 1 : 0;
  } else {
    return std::nullopt;
  }

  if (!way_out) return e;
  if (out == "VariantClear") {
    // The temporary VARIANT of a name that did not go in, or the array that put_Interfaces
    // refused.
    if (name == "SafeArrayPutElement") {
      e.leak.bstrs += 1;
    } else if (name == "INetFwRule::put_Interfaces") {
      e.leak.bstrs += 2;
      e.leak.arrays += 1;
    } else {
      return std::nullopt;
    }
  } else if (out == "SafeArrayDestroy" && name == "SafeArrayPutElement") {
    // The partly filled array, with the names that went in before the refused one.
    e.leak.arrays += 1;
    e.leak.bstrs += primary.occurrence - 1;
  } else if (out != "GetErrorInfo" && out != "IUnknown::QueryInterface" &&
             out != "IErrorInfo::GetDescription" && out != "FormatMessageW") {
    return std::nullopt;
  }
  return e;
}

TEST_F(LibrarySweepTest, EveryCallOfAFullRuleFailsCleanly) {
  const Attempt clean = attempt("");
  ASSERT_EQ(clean.result, "added");
  ASSERT_EQ(clean.balance, fwsim::Balance{});
  ASSERT_FALSE(clean.store.empty());
  const Trace trace = trace_of(clean.log);
  long clears = 0;
  for (const TraceCall& call : trace.calls) clears += call.name == "VariantClear";
  // The rule's interface names go through three clears: one per name, then the array.
  ASSERT_EQ(clears, 3);

  long runs = 0, leaks = 0, unread = 0;
  std::set<std::string> swept;
  // Fails each call of `calls` after the first `skip`, in each of its ways, after `before`.
  auto sweep = [&](const std::vector<TraceCall>& calls, std::size_t skip,
                   const std::optional<Fault>& before, auto&& self) -> void {
    std::map<std::string, long> seen;
    for (std::size_t i = 0; i < calls.size(); ++i) {
      const TraceCall& call = calls[i];
      const long occurrence = ++seen[call.name];
      if (i < skip) continue;
      for (const Mode mode : modes_for(call)) {
        const Fault fault{call.name, occurrence, mode};
        std::string text = before ? fault_text(*before) + ";" : "";
        text += fault_text(fault);
        fwsim::reset();
        if (!fwsim::add_faults(text)) continue;  // a call fwsim cannot make fail
        const auto expected = before ? expected_for(*before, fault, clears)
                                     : expected_for(fault, std::nullopt, clears);
        if (!expected) {
          ADD_FAILURE() << "no expectation for " << text;
          continue;
        }
        ++runs;
        swept.insert(call.name);
        const Attempt a = attempt(text);
        if (expected->result == "stop") {
          EXPECT_TRUE(a.result.starts_with("stop: \nthread 'main' panicked at src\\"))
              << text << ": " << a.result;
          EXPECT_TRUE(a.result.ends_with(":\nallocation failed\n")) << text << ": " << a.result;
        } else {
          EXPECT_EQ(a.result, expected->result) << text;
        }
        EXPECT_EQ(a.store, expected->added ? clean.store : "") << text;
        fwsim::Balance with_unread = expected->leak;
        with_unread.objects += 1;
        with_unread.errorinfo += 1;
        if (expected->unread_error_info_allowed && a.balance == with_unread) {
          ++unread;
        } else {
          EXPECT_EQ(a.balance, expected->leak) << text;
        }
        leaks += expected->leak != fwsim::Balance{};
        // A failure that is returned is swept again along its way out.
        if (!before && !expected->added && expected->result != "stop") {
          const Trace failed = trace_of(a.log);
          std::map<std::string, long> count;
          std::size_t at = 0;
          while (at < failed.calls.size() &&
                 !(failed.calls[at].name == call.name && ++count[call.name] == occurrence)) {
            ++at;
          }
          self(failed.calls, at + 1, fault, self);
        }
      }
    }
  };
  sweep(trace.calls, 0, std::nullopt, sweep);

  // The calls only this rule reaches, and those of the ways out, were among those failed.
  for (const char* name : {"SafeArrayCreateVector", "SafeArrayPutElement", "SafeArrayDestroy",
                           "VariantClear", "INetFwRule::put_Interfaces", "INetFwRule::put_Profiles",
                           "IErrorInfo::GetDescription", "FormatMessageW"}) {
    EXPECT_TRUE(swept.contains(name)) << name;
  }
  std::cout << "library sweep: " << trace.calls.size() << " calls of a clean run, " << runs
            << " runs, " << leaks << " with an expected leak (a failed VariantClear or "
            << "SafeArrayDestroy), " << unread
            << " with the fault's own error information unread\n";
}

}  // namespace
