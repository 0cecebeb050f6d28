#include "bench/HeapCounter.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <malloc.h>

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {

std::atomic<std::size_t> g_current{0};
std::atomic<std::size_t> g_peak{0};

void added(void* p)
{
    if (!p)
        return;
    const std::size_t now =
        g_current.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
    std::size_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void removed(void* p)
{
    if (p)
        g_current.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
}

} // namespace

extern "C" {

void* malloc(std::size_t size)
{
    void* p = __libc_malloc(size);
    added(p);
    return p;
}

void* calloc(std::size_t count, std::size_t size)
{
    void* p = __libc_calloc(count, size);
    added(p);
    return p;
}

void* realloc(void* old, std::size_t size)
{
    removed(old);
    void* p = __libc_realloc(old, size);
    if (p)
        added(p);
    else if (old && size != 0)
        added(old); // the old block survives a failed realloc
    return p;
}

void free(void* p)
{
    removed(p);
    __libc_free(p);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    void* p = __libc_memalign(alignment, size);
    added(p);
    return p;
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size)
{
    void* p = memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

} // extern "C"

std::size_t HeapCounter::Current()
{
    return g_current.load();
}

std::size_t HeapCounter::Peak()
{
    return g_peak.load();
}

void HeapCounter::ResetPeak()
{
    g_peak.store(g_current.load());
}
