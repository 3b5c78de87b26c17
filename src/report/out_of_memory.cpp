// The program's global allocation functions. Every allocation that fails ends the process at
// once with the one-line memory-exhaustion message: nothing in the program handles running out
// of memory, so neither std::bad_alloc nor a null from the nothrow forms ever reaches it.
// Compiled into the executables only; the library and its unit tests keep the standard ones.
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(_WIN32)
#include <malloc.h>  // _aligned_malloc, _aligned_free: the CRT has no aligned_alloc
#endif

#include "report/allocation_failure.h"

namespace {

void* allocate(std::size_t size) {
  // malloc(0) may give null, which would read as a failure.
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) orvane::report::allocation_failed(size);
  return memory;
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
  const auto align = static_cast<std::size_t>(alignment);
  // aligned_alloc wants a size that is a whole multiple of the alignment, and at least one.
  const std::size_t wanted = size == 0 ? 1 : size;
  if (wanted > static_cast<std::size_t>(-1) - (align - 1)) {
    orvane::report::allocation_failed(size);
  }
  const std::size_t rounded = (wanted + align - 1) / align * align;
#if defined(_WIN32)
  void* memory = _aligned_malloc(rounded, align);
#else
  void* memory = std::aligned_alloc(align, rounded);
#endif
  if (memory == nullptr) orvane::report::allocation_failed(size);
  return memory;
}

void release(void* memory) noexcept { std::free(memory); }

void release_aligned(void* memory) noexcept {
#if defined(_WIN32)
  _aligned_free(memory);
#else
  std::free(memory);
#endif
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }

void* operator new(std::size_t size, std::align_val_t alignment) {
  return allocate_aligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocate_aligned(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate_aligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate_aligned(size, alignment);
}

void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { release(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { release(memory); }

void operator delete(void* memory, std::align_val_t) noexcept { release_aligned(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { release_aligned(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
  release_aligned(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
  release_aligned(memory);
}
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  release_aligned(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  release_aligned(memory);
}
