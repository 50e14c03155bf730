// The replacement operator new of the stream tests.
#include "allocation_hooks.h"

#include <cstdlib>
#include <new>

namespace stream_test {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
thread_local bool tl_counted = false;
std::atomic<std::size_t> g_failSize{0};
std::atomic<long> g_largeAllocations{0};
thread_local long tl_newCalls = 0;
thread_local long tl_failAt = -1;
}  // namespace stream_test

#if !defined(__SANITIZE_ADDRESS__)
// The replacements pair malloc with free on purpose; GCC cannot see that every
// operator delete here meets an operator new from here.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
using namespace stream_test;

void *operator new(std::size_t size) {
  if (tl_counted && g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
  if (++tl_newCalls == tl_failAt || size == g_failSize.load(std::memory_order_relaxed))
    throw std::bad_alloc();
  if (size >= (std::size_t{4} << 20)) g_largeAllocations.fetch_add(1);
  if (void *p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void *operator new[](std::size_t size) { return operator new(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
#endif
