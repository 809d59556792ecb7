// The allocator of the map's pixel buffers.
//
// A block that large comes straight from the system, untouched and zero, and
// each 4 KiB page costs a fault at its first write. On Linux the block's pages
// are marked for transparent huge pages, so the kernel maps it 2 MiB at a time:
// 512 times fewer faults. Elsewhere, and where the advice is refused, the
// block is simply used with small pages.
#include "picture/picture.h"

#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

std::uint8_t* allocate_pixels(std::size_t size) {
    auto* block = static_cast<std::uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
#ifdef __linux__
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    constexpr std::size_t page = 4096;
    if (block != nullptr && size >= 2 * huge_page) {
        const auto start =
            (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~std::uintptr_t{page - 1};
        const auto end =
            (reinterpret_cast<std::uintptr_t>(block) + size) & ~std::uintptr_t{page - 1};
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
#endif
    return block;
}

void release_pixels(std::uint8_t* pixels) {
    std::free(pixels);
}
