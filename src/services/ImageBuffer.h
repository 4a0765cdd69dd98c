#pragma once

#include <QImage>
#include <QSize>

// Pictures the size of a screen, made once a minute and dropped right after.
namespace ImageBuffer {

// An uninitialised 32-bit RGB picture of `size` in memory of its own that
// asks for huge pages, given back to the system with the last copy of the
// picture. A fresh buffer of plain pages costs one page fault per 4 KiB
// written (some 2,000 for a full HD screen); huge pages take a handful.
// A plain QImage when the memory cannot be mapped; null for an empty size.
QImage rgb32(QSize size);

} // namespace ImageBuffer
