#include "info/HeapUse.h"

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define ZOLM_ASAN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOLM_ASAN_HEAP 1
#endif
#endif

#ifdef ZOLM_ASAN_HEAP
// Under AddressSanitizer the heap is the sanitizer's, and glibc's figures stay still.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

std::uint64_t HeapBytesInUse()
{
#ifdef ZOLM_ASAN_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    // Blocks handed out from the arenas plus the ones mapped on their own.
    const struct mallinfo2 info = ::mallinfo2();
    return std::uint64_t(info.uordblks) + std::uint64_t(info.hblkhd);
#endif
}
