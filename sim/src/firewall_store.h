// The simulated firewall's rule store: the file that holds every rule, one line each, shared by
// all processes that use the same path. Implemented in firewall_store.cpp. Internal to fwsim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fwsim/testing.h"

namespace fwsim::detail {

// The rule file at detail::store_path(), read once and kept in memory with a name index, re-read
// when the file changes (so that other processes' adds are seen) or when the path changes.
// Writes go to a temporary file that is renamed over the store, under an exclusive lock on
// `<store>.lock`, so that concurrent writers lose nothing and a reader never sees half a store.
// A store with a line that cannot be read refuses every operation and is never overwritten.
// Every member is safe to call from any thread. Errors are one-line descriptions.
class RuleStore {
 public:
  // Whether the store can be read at all.
  std::expected<void, std::string> check();
  std::expected<std::size_t, std::string> count();
  // The first rule of exactly this name, or nullopt.
  std::expected<std::optional<Rule>, std::string> find(std::u16string_view name);
  // The rule lines as they stand in the file, comments left out.
  std::expected<std::vector<std::string>, std::string> rule_lines();
  // Every rule, in the order of the file, as they stand now: shared, not copied, and left as
  // they are by later changes of the store (an enumerator walks them).
  std::expected<std::shared_ptr<const std::vector<Rule>>, std::string> rules();
  // Appends a rule (Add's checks are the caller's).
  std::expected<void, std::string> append(const Rule& rule);
  // Removes the first rule of exactly this name, or every one when `every`; gives how many went.
  // When none has the name, the file is left as it is.
  std::expected<std::size_t, std::string> remove(std::u16string_view name, bool every);
  // Removes every rule; comments stay.
  std::expected<void, std::string> clear();
  // Drops the cache, so that the next call reads the file again.
  void forget();

  // What identifies one version of the file; a default Stamp stands for a missing file.
  struct Stamp {
    bool exists = false;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtime_ns = 0, ctime_ns = 0;
    bool operator==(const Stamp&) const = default;
  };

 private:
  struct Line {
    std::string text;
    bool is_rule;
  };

  std::expected<void, std::string> refresh();
  void load(std::string_view content);
  void index_rule(Rule rule);
  // rules_, to be changed: a vector still shared with an enumerator is copied first.
  std::vector<Rule>& own_rules();
  void drop_cache();
  using RuleFilter = std::function<bool(const Rule&)>;
  // Under the file lock, with the newest store read: writes the store without the rules that
  // `drop` (when given) picks, with `added` (when given) at the end, and once the file is in
  // place brings the memory up to date. Gives the number of rules dropped. Writes nothing when
  // nothing changes.
  std::expected<std::size_t, std::string> rewrite(const RuleFilter& drop, const Rule* added);

  std::mutex mutex_;
  std::string path_;
  std::optional<Stamp> stamp_;  // what was read; nullopt: nothing read yet
  std::optional<std::string> damage_;
  std::vector<Line> lines_;
  std::shared_ptr<std::vector<Rule>> rules_ = std::make_shared<std::vector<Rule>>();
  std::unordered_map<std::u16string, std::size_t> first_by_name_;
};

// The process's one store, shared by every firewall object.
RuleStore& rule_store();

}  // namespace fwsim::detail
