#include "common/common_alloc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace mvxc {
namespace {

long g_fail_at = 0; // the allocation (1-based) that fails; 0: none
bool g_persistent = false;
long g_count = 0; // allocations attempted since the last SetAllocFailure
std::size_t g_largest = 0; // the most bytes one of them asked for

// Counts an attempt of size bytes and says whether it is to fail.
bool ShouldFail(std::size_t size) {
    ++g_count;
    if (size > g_largest) g_largest = size;
    if (g_fail_at == 0) return false;
    return g_persistent ? g_count >= g_fail_at : g_count == g_fail_at;
}

} // namespace

void* Malloc(std::size_t size) {
    if (ShouldFail(size)) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* Calloc(std::size_t count, std::size_t size) {
    if (ShouldFail(count > 0 && size > SIZE_MAX / count ? SIZE_MAX : count * size)) return nullptr;
    if (count == 0 || size == 0) return std::calloc(1, 1);
    return std::calloc(count, size);
}

void* Realloc(void* block, std::size_t size) {
    if (ShouldFail(size)) return nullptr;
    return std::realloc(block, size == 0 ? 1 : size);
}

bool ReuseFails(std::size_t size) {
    return ShouldFail(size);
}

char* StrDup(const char* text) {
    std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(Malloc(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
}

void SetAllocFailure(long nth, bool persistent) {
    g_fail_at = nth < 0 ? 0 : nth;
    g_persistent = persistent;
    g_count = 0;
    g_largest = 0;
}

long AllocCount() {
    return g_count;
}

std::size_t LargestAllocation() {
    return g_largest;
}

} // namespace mvxc
