// Large blocks in transparent huge pages. Whole pictures, encoded files and
// read buffers are blocks of tens or hundreds of megabytes, and each fresh
// 4 KiB page of them costs a page fault when first written; faulting them
// in 2 MiB pages instead took about half of a 200 % resize's processor
// time off. Blocks from 8 MiB up are aligned to 2 MiB and advised as huge
// pages before they are touched; everything else is plain malloc, and free
// releases either.
#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kLargeBlock = std::size_t(8) << 20;

void* Allocate(std::size_t size)
{
    void* p = nullptr;
    if (size >= kLargeBlock) {
        if (::posix_memalign(&p, kHugePage, size) != 0)
            p = nullptr;
        else
            ::madvise(p, size & ~(kHugePage - 1), MADV_HUGEPAGE);  // whole huge pages inside the block
    } else {
        p = std::malloc(size == 0 ? 1 : size);
    }
    return p;
}

}  // namespace

void* operator new(std::size_t size)
{
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
