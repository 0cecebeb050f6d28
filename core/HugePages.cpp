#include "core/HugePages.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kHugePage = 2 * 1024 * 1024;

} // namespace

void AdviseHugePages(void* data, std::size_t size)
{
    // Below this, too little of the buffer may lie in an aligned huge page to be worth asking.
    if (size < 2 * kHugePage)
        return;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~std::uintptr_t(kPage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~std::uintptr_t(kPage - 1);
    // Only a hint: a kernel without huge pages refuses it, and the buffer then works as before.
    if (end > begin)
        (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

std::string LargeString(std::size_t size)
{
    std::string text;
    text.reserve(size);
    AdviseHugePages(text.data(), size);
    text.resize(size);
    return text;
}
