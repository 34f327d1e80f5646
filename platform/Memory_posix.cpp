#include "platform/Memory.h"

#include <cstdint>

#include <sys/mman.h>

namespace tessara {

void AdviseFill(void* p, size_t n) noexcept {
#if defined(MADV_HUGEPAGE)
    // Transparent huge pages of 2 MB, asked for the whole ones inside the range: the rest of
    // the range, and whatever shares its pages, keeps the usual pages.
    constexpr uintptr_t kLarge = uintptr_t{2} << 20;
    if (n < 2 * kLarge) return;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(p) + kLarge - 1) & ~(kLarge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(kLarge - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}

}  // namespace tessara
