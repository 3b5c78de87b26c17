// add_if_not_exists against fwsim's file-backed firewall, with 0, 1,000 and 100,000 other rules
// in the store: the path that finds the rule, the path that adds it, and, to show where the add
// path's time goes, the store's atomic rewrite done alone. Also the first look-up of a process,
// which reads the whole store.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include "bench_support.h"
#include "firewall/add_if_not_exists.h"
#include "firewall/build_com_rule.h"
#include "firewall/firewall_rule.h"
#include "platform/com_apartment.h"
#include "platform/com_ptr.h"

namespace {

namespace fs = std::filesystem;
using namespace orvane::firewall;

constexpr std::string_view kExistingName = "Orvane Lobby In";
constexpr std::string_view kNewName = "Orvane Lobby Bench In";

FirewallRule udp_allow(std::string_view name) {
  return {.name = std::string(name),
          .direction = RuleDirection::In,
          .enabled = true,
          .action = RuleAction::Allow,
          .description = std::nullopt,
          .application_name = "C:\\Games\\Orvane\\orvane-lobby.exe",
          .service_name = std::nullopt,
          .protocol = RuleProtocol::Udp,
          .local_ports = std::nullopt,
          .remote_ports = std::nullopt,
          .local_addresses = std::nullopt,
          .remote_addresses = std::nullopt,
          .icmp_types_and_codes = std::nullopt,
          .edge_traversal = std::nullopt,
          .grouping = std::nullopt,
          .interfaces = std::nullopt,
          .interface_types = std::nullopt,
          .profile = std::nullopt};
}

// A store line as fwsim writes the program's rules (backslashes doubled in its text form).
std::string store_line(std::string_view name, int direction, std::string_view application) {
  std::ostringstream line;
  line << "Name=\"" << name << "\" Direction=" << direction
       << " Enabled=-1 Action=1 ApplicationName=\"" << application << "\" Protocol=17";
  return line.str();
}

// The stores the benchmarks read, each written once per size, in a folder of this process's own
// that is removed at exit. A store holds `others` rules of other applications, then the
// program's six, so the rule looked up is the last-but-five line whatever the size.
class Stores {
 public:
  static Stores& instance() {
    static Stores stores;
    return stores;
  }
  Stores(const Stores&) = delete;
  Stores& operator=(const Stores&) = delete;
  ~Stores() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  const fs::path& folder() const { return folder_; }

  const fs::path& pristine(std::int64_t others) {
    auto [entry, made] = pristine_.try_emplace(others);
    if (!made) return entry->second;
    entry->second = folder_ / ("pristine-" + std::to_string(others));
    std::ofstream out(entry->second, std::ios::binary);
    out << "# " << others << " other rules and the program's six\n";
    for (std::int64_t i = 0; i < others; ++i) {
      const std::string n = std::to_string(i);
      out << store_line("Vendor Tool " + n + (i % 2 ? " Out" : " In"), i % 2 ? 2 : 1,
                        "C:\\\\Program Files\\\\Vendor\\\\Tool " + n + "\\\\tool.exe")
          << '\n';
    }
    const std::string_view kDirections[] = {"In", "Out"};
    const std::string_view kApplications[] = {"Lobby", "Lobby Halvic", "Lobby Pendrel"};
    for (std::string_view application : kApplications) {
      for (int d = 0; d < 2; ++d) {
        out << store_line("Orvane " + std::string(application) + " " + std::string(kDirections[d]),
                          d + 1, "C:\\\\Games\\\\Orvane\\\\app.exe")
            << '\n';
      }
    }
    return entry->second;
  }

 private:
  Stores() {
    folder_ = fs::temp_directory_path() / ("orvane-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
  }

  fs::path folder_;
  std::map<std::int64_t, fs::path> pristine_;
};

// Puts the pristine store back at `store` without copying it: fwsim never writes a store file in
// place (it renames a new one over it), so a hard link to the pristine file is safe.
void restore(const fs::path& pristine, const fs::path& store) {
  fs::path link = store;
  link += ".restore";
  fs::remove(link);
  fs::create_hard_link(pristine, link);
  fs::rename(link, store);
}

// A quarter of a second of timed calls each: the untimed set-up (putting the store back and
// reading it) costs more than the call itself, up to a fifth of a second with 100,000 rules.
void store_sizes(benchmark::internal::Benchmark* b) {
  b->Arg(0)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond)->MinTime(0.25);
}

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

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// What fwsim's Add does to the file system, done alone with the same bytes: take the store's
// lock, write a temporary file beside the store, flush it to the disk, rename it over the store,
// flush the folder. With `durable` false, the two flushes are left out.
void BM_StoreRewrite(benchmark::State& state, bool durable) {
  Stores& stores = Stores::instance();
  const fs::path& pristine = stores.pristine(state.range(0));
  std::ifstream in(pristine, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  content += store_line(kNewName, 1, "C:\\\\Games\\\\Orvane\\\\orvane-lobby.exe") + "\n";
  const fs::path target_path = stores.folder() / ("rewrite-" + std::to_string(state.range(0)));
  const std::string target = target_path.string();
  const std::string lock_path = target + ".lock";
  const std::string folder = stores.folder().string();
  for (auto _ : state) {
    // Replaced as the add path replaces it: the name being renamed over is a link to the pristine
    // file, whose data stays.
    state.PauseTiming();
    restore(pristine, target_path);
    state.ResumeTiming();
    const int lock = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    std::string temp = target + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    bool ok = lock >= 0 && ::flock(lock, LOCK_EX) == 0 && fd >= 0 && ::fchmod(fd, 0644) == 0 &&
              write_all(fd, content) && (!durable || ::fsync(fd) == 0);
    ok = ::close(fd) == 0 && ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (durable) {
      const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ok = dir >= 0 && ::fsync(dir) == 0 && ::close(dir) == 0 && ok;
    }
    ok = ::close(lock) == 0 && ok;
    if (!ok) {
      state.SkipWithError("the rewrite failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(content.size()));
}
BENCHMARK_CAPTURE(BM_StoreRewrite, durable, true)->Apply(store_sizes);
BENCHMARK_CAPTURE(BM_StoreRewrite, without_flush, false)->Apply(store_sizes);

}  // namespace
