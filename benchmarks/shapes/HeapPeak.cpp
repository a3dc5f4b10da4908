// Replaces the global operator new and delete with counting ones. Each block
// carries its size in a header of the strictest fundamental alignment.
#include "HeapPeak.h"

#include <cstdlib>
#include <new>

namespace {

constexpr size_t kHeader = alignof(std::max_align_t);
size_t inUse = 0;
size_t peak = 0;

void* Allocate(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (!block) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  inUse += size;
  if (inUse > peak) peak = inUse;
  return static_cast<char*>(block) + kHeader;
}

void Release(void* p) noexcept {
  if (!p) return;
  void* block = static_cast<char*>(p) - kHeader;
  inUse -= *static_cast<size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace qelt::bench {

size_t HeapInUse() { return inUse; }
size_t HeapPeak() { return peak; }
void ResetHeapPeak() { peak = inUse; }

}  // namespace qelt::bench
