// Asks for more memory than any machine has, through the program's own allocation functions, so
// that a test can watch how the process ends.
#include <cstddef>
#include <cstdint>
#include <new>

int main() {
  // volatile, so that the compiler can neither see the size nor drop the allocation.
  volatile std::size_t size = SIZE_MAX / 2;
  void* volatile memory = ::operator new(size);
  ::operator delete(memory);
  return 0;  // not reached when the allocation fails, which it must
}
