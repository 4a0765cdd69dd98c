#include "ImageBuffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <limits>

namespace {

constexpr size_t hugePage = size_t(2) << 20;

struct Mapping {
    void *address;
    size_t length;
};

void unmap(void *info)
{
    const Mapping *mapping = static_cast<Mapping *>(info);
    munmap(mapping->address, mapping->length);
    delete mapping;
}

size_t roundUp(size_t value, size_t step)
{
    return (value + step - 1) / step * step;
}

} // namespace

namespace ImageBuffer {

QImage rgb32(QSize size)
{
    if (size.isEmpty())
        return {};
    const qsizetype stride = qsizetype(size.width()) * 4;
    if (size.height() > std::numeric_limits<qsizetype>::max() / stride)
        return {};
    const size_t length = roundUp(size_t(stride) * size_t(size.height()), hugePage);
    // One huge page more than needed, so that a start on a huge page
    // boundary fits; the parts before and after it are unmapped again.
    void *mapped = mmap(nullptr, length + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return QImage(size, QImage::Format_RGB32);
    const auto first = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t start = roundUp(first, hugePage);
    if (start > first)
        munmap(mapped, start - first);
    if (const size_t after = first + length + hugePage - (start + length))
        munmap(reinterpret_cast<void *>(start + length), after);
    void *address = reinterpret_cast<void *>(start);
    // Only advice: without transparent huge pages this is plain memory.
    madvise(address, length, MADV_HUGEPAGE);
    return QImage(static_cast<uchar *>(address), size.width(), size.height(), stride, QImage::Format_RGB32, unmap,
                  new Mapping{address, length});
}

} // namespace ImageBuffer
