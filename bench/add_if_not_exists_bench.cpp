// add_if_not_exists against fwsim's file-backed firewall, with 0, 1,000 and 100,000 other rules
// in the store: the path that finds the rule, the path that adds it, and INetFwRules::Add alone,
// to show where the add path's time goes. Also the first look-up of a process, which reads the
// whole store.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "bench_support.h"
#include "firewall/add_if_not_exists.h"
#include "firewall/build_com_rule.h"
#include "firewall/firewall_rule.h"
#include "platform/com_apartment.h"
#include "platform/com_ptr.h"
#include "store_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace orvane::firewall;
using namespace orvane::bench;

// The rule is there: one look-up, nothing built, nothing written. The store is read once before
// timing; after that every call finds it in memory and only checks that the file is unchanged.
void BM_AddIfNotExists_Existing(benchmark::State& state) {
  orvane::bench::quiet_platform();
  fwsim::set_store_path(Stores::instance().pristine(state.range(0)).string());
  const FirewallRule rule = udp_allow(kExistingName);
  (void)add_if_not_exists(rule);
  for (auto _ : state) {
    const auto added = add_if_not_exists(rule);
    if (!added || *added) {
      state.SkipWithError("the existing rule was not found");
      break;
    }
  }
}
BENCHMARK(BM_AddIfNotExists_Existing)->Apply(store_sizes);

// The rule is missing: the look-up, the new rule object, and Add, which rewrites the store. Each
// iteration starts from the same store, read into memory before the timing resumes.
void BM_AddIfNotExists_Add(benchmark::State& state) {
  orvane::bench::quiet_platform();
  Stores& stores = Stores::instance();
  const fs::path& pristine = stores.pristine(state.range(0));
  const fs::path store = stores.folder() / ("add-" + std::to_string(state.range(0)));
  fwsim::set_store_path(store.string());
  const FirewallRule existing = udp_allow(kExistingName);
  const FirewallRule fresh = udp_allow(kNewName);
  for (auto _ : state) {
    state.PauseTiming();
    restore(pristine, store);
    (void)add_if_not_exists(existing);
    state.ResumeTiming();
    const auto added = add_if_not_exists(fresh);
    if (!added || !*added) {
      state.SkipWithError("the new rule was not added");
      break;
    }
  }
}
BENCHMARK(BM_AddIfNotExists_Add)->Apply(store_sizes);

// INetFwRules::Add alone, in the same state as the add path's Add: the store read, the new rule
// object configured. Everything around the one call is untimed.
void BM_RulesAdd(benchmark::State& state) {
  orvane::bench::quiet_platform();
  Stores& stores = Stores::instance();
  const fs::path& pristine = stores.pristine(state.range(0));
  const fs::path store = stores.folder() / ("rules-add-" + std::to_string(state.range(0)));
  fwsim::set_store_path(store.string());
  const FirewallRule existing = udp_allow(kExistingName);
  const FirewallRule fresh = udp_allow(kNewName);
  for (auto _ : state) {
    state.PauseTiming();
    restore(pristine, store);
    (void)add_if_not_exists(existing);
    std::optional<orvane::platform::ComApartment> apartment;
    if (auto entered = orvane::platform::ComApartment::enter())
      apartment.emplace(std::move(*entered));
    orvane::platform::ComPtr<INetFwPolicy2> policy;
    orvane::platform::ComPtr<INetFwRules> rules;
    auto rule = build_com_rule(fresh);
    if (!apartment || !rule ||
        FAILED(CoCreateInstance(orvane::kClsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                orvane::kIidINetFwPolicy2, policy.put_void())) ||
        FAILED(policy->get_Rules(rules.put()))) {
      state.SkipWithError("the firewall could not be reached");
      break;
    }
    state.ResumeTiming();
    const HRESULT hr = rules->Add(rule->get());
    state.PauseTiming();
    if (FAILED(hr)) {
      state.SkipWithError("Add failed");
      break;
    }
    rule->reset();
    rules.reset();
    policy.reset();
    apartment.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RulesAdd)->Apply(store_sizes);

// The first call of a process: the store is read and indexed whole. Switching between two names
// of one file makes fwsim read it afresh each time.
void BM_FirstLookUp(benchmark::State& state) {
  orvane::bench::quiet_platform();
  Stores& stores = Stores::instance();
  const fs::path& pristine = stores.pristine(state.range(0));
  fs::path names[2] = {stores.folder() / ("first-a-" + std::to_string(state.range(0))),
                       stores.folder() / ("first-b-" + std::to_string(state.range(0)))};
  for (const fs::path& name : names) restore(pristine, name);
  const FirewallRule rule = udp_allow(kExistingName);
  int turn = 0;
  for (auto _ : state) {
    fwsim::set_store_path(names[turn ^= 1].string());
    const auto added = add_if_not_exists(rule);
    if (!added || *added) {
      state.SkipWithError("the existing rule was not found");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(pristine)));
}
BENCHMARK(BM_FirstLookUp)->Apply(store_sizes);

}  // namespace
