/*
 * Allocation used by every module.
 *
 * All memory that can run out comes from these wrappers around malloc,
 * calloc and realloc, so that memory handed to callers is always malloc'ed
 * (released with free or mvx_Free) and so that tests can make any chosen
 * allocation fail. Callers check every result.
 *
 * Test seam: mvxc::SetAllocFailure(n) makes the n-th allocation from now on
 * (counting from 1) fail, once, or that one and every later one when
 * `persistent` is set; n = 0 turns failures off. mvxc::AllocCount() counts
 * the allocations attempted since the last SetAllocFailure, and
 * mvxc::LargestAllocation() gives the most bytes one of them asked for. These names are
 * hidden in the shared library; tests reach them through the static build.
 */
#ifndef MVX_COMMON_ALLOC_H
#define MVX_COMMON_ALLOC_H

#include <cstddef>

namespace mvxc {

void* Malloc(std::size_t size);
void* Calloc(std::size_t count, std::size_t size);
void* Realloc(void* block, std::size_t size);
/* A malloc'ed copy of a NUL-terminated string, or null. */
char* StrDup(const char* text);
/* Counts an allocation of size bytes that a module serves from memory it
 * keeps for reuse, without malloc; true when the test seam makes this one
 * fail (the caller then reports it as out of memory). */
bool ReuseFails(std::size_t size);

void SetAllocFailure(long nth, bool persistent = false);
long AllocCount();
std::size_t LargestAllocation();

} // namespace mvxc

#endif
