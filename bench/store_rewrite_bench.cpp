// What fwsim's Add does to the file system, alone: the store's atomic rewrite, to compare with the
// add path of add_if_not_exists (add_if_not_exists_bench.cpp).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "store_fixture.h"

namespace {

using namespace orvane::bench;

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
