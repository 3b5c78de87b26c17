#include "firewall_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "controls.h"
#include "firewall_rule_line.h"
#include "text.h"

namespace fwsim::detail {
namespace {

// An open file descriptor, closed once.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, reporting what close says (a write error can surface only here).
  bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

std::string os_error(std::string_view what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

std::expected<std::string, std::string> read_all(int fd, const std::string& path) {
  std::string content;
  std::array<char, 65536> buffer;
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::unexpected(os_error("cannot read the rule store", path));
    if (n == 0) return content;
    content.append(buffer.data(), static_cast<std::size_t>(n));
  }
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Replaces the file at `path` with `content` so that a reader sees either the old file or the
// new one whole, even when this process dies half-way.
std::expected<void, std::string> replace_file(const std::string& path, std::string_view content) {
  std::string temp = path + ".tmp-XXXXXX";
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return std::unexpected(os_error("cannot create a temporary file for", path));
  bool ok = ::fchmod(fd.get(), 0644) == 0 && write_all(fd.get(), content) &&
            ::fsync(fd.get()) == 0 && fd.close() && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    std::string error = os_error("cannot write the rule store", path);
    ::unlink(temp.c_str());
    return std::unexpected(error);
  }
  // The rename itself is made durable by syncing the folder; a failure here loses nothing that
  // a reader could see, so it is not reported.
  std::string folder = std::filesystem::path(path).parent_path().string();
  UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return {};
}

// Holds flock(LOCK_EX) on `<store>.lock` for as long as it lives.
std::expected<UniqueFd, std::string> lock_store(const std::string& path) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) {
    return std::unexpected("cannot create the folder of the rule store " + path + ": " +
                           ec.message());
  }
  std::string lock_path = path + ".lock";
  UniqueFd fd(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (fd.get() < 0) return std::unexpected(os_error("cannot open the lock file", lock_path));
  int rc;
  do {
    rc = ::flock(fd.get(), LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return std::unexpected(os_error("cannot lock", lock_path));
  return fd;
}

// Writers always replace the file by a rename, so a new version has a new inode; size and times
// guard against the inode number being reused.
RuleStore::Stamp stamp_of(const struct stat& st) {
  return {true,
          static_cast<std::uint64_t>(st.st_dev),
          static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::uint64_t>(st.st_size),
          st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec,
          st.st_ctim.tv_sec * 1'000'000'000LL + st.st_ctim.tv_nsec};
}

}  // namespace

std::expected<void, std::string> RuleStore::refresh() {
  std::string path = store_path();
  if (path != path_) {
    drop_cache();
    path_ = std::move(path);
  }
  // One stat tells whether the file is still the version in memory; only a new version is opened
  // and read. A missing file is an empty store.
  Stamp stamp;
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    stamp = stamp_of(st);
  } else if (errno != ENOENT && errno != ENOTDIR) {
    return std::unexpected(os_error("cannot examine the rule store", path_));
  }
  if (stamp_ != stamp) {
    // Another writer may rename a newer store into place between the stat and the open, so the
    // stamp kept is that of the file actually read.
    stamp = {};
    std::string content;
    UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 && errno != ENOENT && errno != ENOTDIR) {
      return std::unexpected(os_error("cannot open the rule store", path_));
    }
    if (fd.get() >= 0) {
      if (::fstat(fd.get(), &st) != 0) {
        return std::unexpected(os_error("cannot examine the rule store", path_));
      }
      stamp = stamp_of(st);
      auto read = read_all(fd.get(), path_);
      if (!read) return std::unexpected(read.error());
      content = std::move(*read);
    }
    load(content);
    stamp_ = stamp;
  }
  if (damage_) return std::unexpected(*damage_);
  return {};
}

void RuleStore::load(std::string_view content) {
  // Another writer changed the file. A rule whose line it left as it was keeps its key, so that
  // the objects standing for it follow it; equal lines keep their keys in file order. A rule whose
  // line changed counts as removed (the file holds no identity of its own to tell otherwise).
  std::vector<Line> old_lines = std::move(lines_);
  std::unordered_map<std::string_view, std::deque<RuleKey>> old_keys;
  std::size_t old_rule = 0;
  for (const Line& line : old_lines) {
    if (line.is_rule) old_keys[line.text].push_back(rules_->keys[old_rule++]);
  }
  drop_cache();
  std::size_t number = 0;
  while (!content.empty()) {
    std::size_t end = content.find('\n');
    std::string_view text = content.substr(0, end);
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    ++number;
    // Comments and blank lines are kept in place when the store is rewritten.
    if (text.empty() || text.front() == '#') {
      lines_.push_back({std::string(text), false});
      continue;
    }
    auto rule = parse_rule(text);
    if (!rule) {
      drop_cache();
      damage_ = "the rule store " + one_line(path_) + " cannot be read: line " +
                std::to_string(number) + ": " + rule.error();
      return;
    }
    RuleKey key = next_key_;
    auto kept = old_keys.empty() ? old_keys.end() : old_keys.find(text);
    if (kept != old_keys.end() && !kept->second.empty()) {
      key = kept->second.front();
      kept->second.pop_front();
    } else {
      ++next_key_;
    }
    lines_.push_back({std::string(text), true});
    index_rule(std::move(*rule), key);
  }
}

void RuleStore::index_rule(Rule rule, RuleKey key) {
  StoredRules& rules = own_rules();
  first_by_name_.try_emplace(std::u16string(rule_name(rule)), rules.rules.size());
  rules.rules.push_back(std::move(rule));
  rules.keys.push_back(key);
}

void RuleStore::index_names() {
  first_by_name_.clear();
  const std::vector<Rule>& rules = rules_->rules;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    first_by_name_.try_emplace(std::u16string(rule_name(rules[i])), i);
  }
}

StoredRules& RuleStore::own_rules() {
  // Under mutex_, nobody can take a new share of rules_, so a count of one stays one.
  if (rules_.use_count() > 1) publish(std::make_shared<StoredRules>(*rules_));
  return *rules_;
}

void RuleStore::publish(std::shared_ptr<StoredRules> rules) {
  // Whoever holds the old version finds its rule again under mutex_, once the change is done.
  rules_->superseded.store(true, std::memory_order_release);
  rules_ = std::move(rules);
}

std::optional<std::size_t> RuleStore::place_of(const StoredRule& seen) const {
  // Only removals move a rule, and only towards the front: look from its old place backwards.
  const RuleKey key = seen.key();
  const std::vector<RuleKey>& keys = rules_->keys;
  const std::size_t from = std::min(seen.index + 1, keys.size());
  for (std::size_t i = from; i-- > 0;) {
    if (keys[i] == key) return i;
  }
  for (std::size_t i = from; i < keys.size(); ++i) {
    if (keys[i] == key) return i;
  }
  return std::nullopt;
}

std::expected<std::size_t, std::string> RuleStore::rewrite(const Plan& plan, const Rule* added) {
  std::string added_line;
  if (added != nullptr) {
    added_line = format_rule(*added);
    if (added_line.empty()) return std::unexpected("a rule without properties cannot be stored");
  }
  if (auto ok = refresh(); !ok) return std::unexpected(ok.error());
  auto lock = lock_store(path_);
  if (!lock) return std::unexpected(lock.error());
  // Another process may have written the store since it was last read.
  if (auto ok = refresh(); !ok) return std::unexpected(ok.error());
  // What changes is decided on the newest store; lines_ holds the rules in the order of rules_.
  Edit edit;
  if (plan) plan(edit);
  const auto drops = static_cast<std::size_t>(std::ranges::count(edit.dropped, true));
  const bool replacing = edit.replaced != Edit::kNone;
  if (drops == 0 && !replacing && added == nullptr) return 0;  // nothing is written
  const auto dropped = [&](std::size_t rule) {
    return rule < edit.dropped.size() && edit.dropped[rule];
  };
  const std::string replacement_line = replacing ? format_rule(edit.replacement) : std::string();
  std::string content;
  std::size_t rule = 0;
  for (const Line& line : lines_) {
    if (!line.is_rule) {
      content += line.text;
    } else if (const std::size_t at = rule++; dropped(at)) {
      continue;
    } else {
      content += at == edit.replaced ? replacement_line : line.text;
    }
    content += '\n';
  }
  if (added != nullptr) content += added_line + '\n';
  if (auto written = replace_file(path_, content); !written) {
    return std::unexpected(written.error());
  }
  // The file is in place: bring the memory up to date with it. A rule keeps its key through a
  // change and while others go.
  if (replacing) {
    rule = 0;
    for (Line& line : lines_) {
      if (line.is_rule && rule++ == edit.replaced) line.text = replacement_line;
    }
    Rule& changed = own_rules().rules[edit.replaced];
    const bool renamed = rule_name(changed) != rule_name(edit.replacement);
    changed = std::move(edit.replacement);
    if (renamed) index_names();
  }
  if (drops > 0) {
    rule = 0;
    std::erase_if(lines_, [&](const Line& line) { return line.is_rule && dropped(rule++); });
    StoredRules& rules = own_rules();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rules.rules.size(); ++i) {
      if (dropped(i)) continue;
      if (kept != i) rules.rules[kept] = std::move(rules.rules[i]);  // never moved onto itself
      rules.keys[kept++] = rules.keys[i];
    }
    rules.rules.resize(kept);
    rules.keys.resize(kept);
    index_names();
  }
  if (added != nullptr) {
    lines_.push_back({std::move(added_line), true});
    index_rule(*added, next_key_++);
  }
  // The new file's stamp, taken while the lock still keeps other writers out.
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    stamp_ = stamp_of(st);
  } else {
    stamp_.reset();
  }
  return drops;
}

std::expected<void, std::string> RuleStore::check() {
  std::lock_guard guard(mutex_);
  return refresh();
}

std::expected<std::size_t, std::string> RuleStore::count() {
  std::lock_guard guard(mutex_);
  if (auto ok = refresh(); !ok) return std::unexpected(ok.error());
  return rules_->rules.size();
}

std::expected<std::optional<StoredRule>, std::string> RuleStore::find(std::u16string_view name) {
  std::lock_guard guard(mutex_);
  if (auto ok = refresh(); !ok) return std::unexpected(ok.error());
  auto it = first_by_name_.find(std::u16string(name));
  if (it == first_by_name_.end()) return std::optional<StoredRule>();
  return std::optional<StoredRule>(StoredRule{rules_, it->second});
}

std::expected<std::shared_ptr<const StoredRules>, std::string> RuleStore::rules() {
  std::lock_guard guard(mutex_);
  if (auto ok = refresh(); !ok) return std::unexpected(ok.error());
  return rules_;
}

std::expected<std::vector<std::string>, std::string> RuleStore::rule_lines() {
  std::lock_guard guard(mutex_);
  if (auto ok = refresh(); !ok) return std::unexpected(ok.error());
  std::vector<std::string> out;
  out.reserve(rules_->rules.size());
  for (const Line& line : lines_) {
    if (line.is_rule) out.push_back(line.text);
  }
  return out;
}

std::expected<void, std::string> RuleStore::append(const Rule& rule) {
  std::lock_guard guard(mutex_);
  if (auto written = rewrite({}, &rule); !written) return std::unexpected(written.error());
  return {};
}

std::expected<std::size_t, std::string> RuleStore::remove(std::u16string_view name, bool every) {
  std::lock_guard guard(mutex_);
  return rewrite(
      [&](Edit& edit) {
        const std::vector<Rule>& rules = rules_->rules;
        edit.dropped.resize(rules.size());
        for (std::size_t i = 0; i < rules.size(); ++i) {
          if (rule_name(rules[i]) != name) continue;
          edit.dropped[i] = true;
          if (!every) break;
        }
      },
      nullptr);
}

std::expected<void, std::string> RuleStore::clear() {
  std::lock_guard guard(mutex_);
  auto written =
      rewrite([&](Edit& edit) { edit.dropped.assign(rules_->rules.size(), true); }, nullptr);
  if (!written) return std::unexpected(written.error());
  return {};
}

std::optional<StoredRule> RuleStore::follow(const StoredRule& seen) {
  std::lock_guard guard(mutex_);
  const std::optional<std::size_t> place = place_of(seen);
  if (!place) return std::nullopt;
  return StoredRule{rules_, *place};
}

std::expected<RuleStore::Update, std::string> RuleStore::update(
    const StoredRule& seen, const std::function<bool(Rule&)>& change) {
  std::lock_guard guard(mutex_);
  Update outcome = Update::Missing;
  auto written = rewrite(
      [&](Edit& edit) {
        const std::optional<std::size_t> place = place_of(seen);
        if (!place) return;
        const Rule& stored = rules_->rules[*place];
        Rule changed = stored;
        if (!change(changed)) {
          outcome = Update::Refused;
          return;
        }
        outcome = Update::Done;
        if (changed == stored) return;  // the line stays as it is, so nothing is written
        edit.replaced = *place;
        edit.replacement = std::move(changed);
      },
      nullptr);
  if (!written) return std::unexpected(written.error());
  return outcome;
}

void RuleStore::forget() {
  std::lock_guard guard(mutex_);
  drop_cache();
  path_.clear();
}

void RuleStore::drop_cache() {
  stamp_.reset();
  damage_.reset();
  lines_.clear();
  publish(std::make_shared<StoredRules>());
  first_by_name_.clear();
}

RuleStore& rule_store() {
  static RuleStore store;
  return store;
}

}  // namespace fwsim::detail
