#include "HugePages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

void adviseHugePages(void* data, size_t bytes) {
    constexpr size_t kHugePage = size_t{2} << 20;
    if (data == nullptr || bytes < kHugePage) return;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = (reinterpret_cast<uintptr_t>(data) + page - 1) / page * page;
    const auto end = (reinterpret_cast<uintptr_t>(data) + bytes) / page * page;
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}
