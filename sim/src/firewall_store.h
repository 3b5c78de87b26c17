// The simulated firewall's rule store: the file that holds every rule, one line each, shared by
// all processes that use the same path. Implemented in firewall_store.cpp. Internal to fwsim.
#pragma once

#include <atomic>
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

// The rules of one version of the store, in file order, each with the key that identifies it in
// this process: a key stays with its rule while other rules are added or removed, and is never
// given to another rule.
using RuleKey = std::uint64_t;
struct StoredRules {
  StoredRules() = default;
  StoredRules(const StoredRules& other) : rules(other.rules), keys(other.keys) {}
  StoredRules& operator=(const StoredRules&) = delete;

  std::vector<Rule> rules;
  std::vector<RuleKey> keys;
  // Set once the store holds a later version.
  mutable std::atomic<bool> superseded{false};
};

// One rule as a version of the store holds it. A version that is shared never changes, so the
// rule can be read without a lock; RuleStore::follow finds it in a later version by its key.
struct StoredRule {
  std::shared_ptr<const StoredRules> rules;
  std::size_t index = 0;
  const Rule& rule() const { return rules->rules[index]; }
  RuleKey key() const { return rules->keys[index]; }
  bool superseded() const { return rules->superseded.load(std::memory_order_acquire); }
};

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
  std::expected<std::optional<StoredRule>, std::string> find(std::u16string_view name);
  // The rule lines as they stand in the file, comments left out.
  std::expected<std::vector<std::string>, std::string> rule_lines();
  // Every rule, in the order of the file, as they stand now: shared, not copied, and left as
  // they are by later changes of the store (an enumerator walks them).
  std::expected<std::shared_ptr<const StoredRules>, std::string> rules();
  // Appends a rule (Add's checks are the caller's).
  std::expected<void, std::string> append(const Rule& rule);

  // The rule `seen` stands for in the rules as they stand now, or nullopt when it has been
  // removed. Reads the memory only: a change another process wrote shows after the next call
  // that reads the file.
  std::optional<StoredRule> follow(const StoredRule& seen);
  // Changes the rule `seen` stands for, in the newest store: `change` edits a copy of it and
  // answers whether the firewall takes the rule it made (the caller's checks). The file is written
  // only when the rule's line changes.
  enum class Update { Done, Missing, Refused };
  std::expected<Update, std::string> update(const StoredRule& seen,
                                            const std::function<bool(Rule&)>& change);
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

  // What a rewrite changes in the newest store, rules given by their place in it.
  struct Edit {
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<bool> dropped;  // one flag a rule, or empty when none goes
    std::size_t replaced = kNone;
    Rule replacement;  // the rule at `replaced` as it becomes
  };
  using Plan = std::function<void(Edit&)>;

  std::expected<void, std::string> refresh();
  void load(std::string_view content);
  void index_rule(Rule rule, RuleKey key);
  void index_names();
  // rules_, to be changed: rules still shared (with an enumerator or a rule object) are copied
  // first, so that what they hold stays as it was.
  StoredRules& own_rules();
  void publish(std::shared_ptr<StoredRules> rules);
  std::optional<std::size_t> place_of(const StoredRule& seen) const;
  void drop_cache();
  // Under the file lock, with the newest store read: `plan` (when given) says which rules go and
  // which one changes, and the store is written so, with `added` (when given) at the end; once
  // the file is in place the memory is brought up to date. Gives the number of rules dropped.
  // Writes nothing when nothing changes.
  std::expected<std::size_t, std::string> rewrite(const Plan& plan, const Rule* added);

  std::mutex mutex_;
  std::string path_;
  std::optional<Stamp> stamp_;  // what was read; nullopt: nothing read yet
  std::optional<std::string> damage_;
  std::vector<Line> lines_;
  std::shared_ptr<StoredRules> rules_ = std::make_shared<StoredRules>();
  RuleKey next_key_ = 1;  // never reset, so that no key is given twice
  std::unordered_map<std::u16string, std::size_t> first_by_name_;
};

// The process's one store, shared by every firewall object.
RuleStore& rule_store();

}  // namespace fwsim::detail
