// Counting allocator for the benchmarks' "allocation-free" checks: the
// benchmark executable's malloc family interposes the C library's and
// forwards to the real functions. Include from exactly one source file of a
// benchmark program.
#pragma once
#include <atomic>
#include <cstddef>

static std::atomic<long> alloc_count{0};
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t n) {
  alloc_count.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t m) {
  alloc_count.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, size_t n) {
  alloc_count.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
