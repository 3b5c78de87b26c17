// Allocation counting for the allocation-budget test: the program keeps its own allocation
// functions, and every heap allocation they make is counted, split by whose it is. fwsim is linked
// as a shared library for this build, so an allocation made while any frame of the stack lies in
// fwsim's code is the simulated platform's; every other one is the program's. At exit the counts go
// to standard output, which the program itself never writes:
//   allocations program=N program_bytes=B platform=M platform_bytes=C
#include <link.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct CodeRange {
  std::uintptr_t begin = 0, end = 0;
};

// fwsim's executable segments, found on first use (the library is mapped before any code runs).
struct PlatformCode {
  CodeRange ranges[4];
  int count = -1;  // not looked up yet
};
PlatformCode platform_code;

int find_platform(dl_phdr_info* info, std::size_t, void*) {
  if (std::strstr(info->dlpi_name, FWSIM_LIBRARY_NAME) == nullptr) return 0;
  platform_code.count = 0;
  for (int i = 0; i < info->dlpi_phnum && platform_code.count < 4; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
    const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    platform_code.ranges[platform_code.count++] = {begin, begin + segment.p_memsz};
  }
  return 1;
}

bool in_platform(std::uintptr_t address) {
  for (int i = 0; i < platform_code.count; ++i) {
    if (address >= platform_code.ranges[i].begin && address < platform_code.ranges[i].end) {
      return true;
    }
  }
  return false;
}

_Unwind_Reason_Code visit_frame(_Unwind_Context* context, void* found) {
  if (!in_platform(_Unwind_GetIP(context))) return _URC_NO_REASON;
  *static_cast<bool*>(found) = true;
  return _URC_END_OF_STACK;  // stops the walk: the answer is known
}

// Whether the allocation being made has a caller in fwsim. fwsim never calls the program's code,
// so a frame of fwsim anywhere on the stack means fwsim asked for the memory, directly or through
// the C++ library.
bool platform_allocation() {
  if (platform_code.count < 0) {
    platform_code.count = 0;
    dl_iterate_phdr(find_platform, nullptr);
  }
  bool found = false;
  _Unwind_Backtrace(visit_frame, &found);
  return found;
}

struct Counts {
  std::atomic<std::uint64_t> allocations{0};
  std::atomic<std::uint64_t> bytes{0};
};
Counts program_counts, platform_counts;

void count(std::size_t size) {
  Counts& counts = platform_allocation() ? platform_counts : program_counts;
  ++counts.allocations;
  counts.bytes += size;
}

void write_counts() {
  char line[160];
  const int n = std::snprintf(line, sizeof line,
                              "allocations program=%llu program_bytes=%llu platform=%llu "
                              "platform_bytes=%llu\n",
                              static_cast<unsigned long long>(program_counts.allocations.load()),
                              static_cast<unsigned long long>(program_counts.bytes.load()),
                              static_cast<unsigned long long>(platform_counts.allocations.load()),
                              static_cast<unsigned long long>(platform_counts.bytes.load()));
  if (n > 0) (void)::write(1, line, static_cast<std::size_t>(n));
}

// Registered before main, so it runs after every exit handler registered later (fwsim's among
// them): the counts cover the whole run.
[[maybe_unused]] const bool registered = std::atexit(write_counts) == 0;

}  // namespace

// The program's allocation functions end in these two; the linker sends the executable's own calls
// of them here (--wrap), so every allocation is counted on its way to the C library.
extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __real_aligned_alloc(std::size_t alignment, std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size);
extern "C" void* __wrap_aligned_alloc(std::size_t alignment, std::size_t size);

void* __wrap_malloc(std::size_t size) {
  count(size);
  return __real_malloc(size);
}

void* __wrap_aligned_alloc(std::size_t alignment, std::size_t size) {
  count(size);
  return __real_aligned_alloc(alignment, size);
}
