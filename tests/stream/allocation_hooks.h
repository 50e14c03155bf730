// The test binary's own operator new: it counts the allocations of marked
// threads (the stream must not allocate per frame) and fails chosen ones on
// purpose (the stream must turn an allocation failure into an outcome).
//
// Every operator new of the test binary (the library's code included, as it is
// linked statically) goes through it. The simulator's threads are not marked:
// it allocates for every reply. AddressSanitizer keeps its own operator new,
// so there is no replacement, no counting and no failing under it.
#pragma once

#include <atomic>
#include <cstddef>

namespace stream_test {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHooksAllocations = false;
#else
constexpr bool kHooksAllocations = true;
#endif

// Allocations of threads with tl_counted set are counted in g_allocations
// while g_counting is set.
extern std::atomic<bool> g_counting;
extern std::atomic<long> g_allocations;
extern thread_local bool tl_counted;

// Every allocation of exactly this many bytes fails with std::bad_alloc, on
// any thread (0: none).
extern std::atomic<std::size_t> g_failSize;
// Allocations of at least 4 MiB, by any thread.
extern std::atomic<long> g_largeAllocations;
// operator new calls of this thread so far; the call that would make it
// tl_failAt fails with std::bad_alloc (tl_failAt < 0: none does).
extern thread_local long tl_newCalls;
extern thread_local long tl_failAt;

}  // namespace stream_test
