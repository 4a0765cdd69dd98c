#pragma once

#include <QImage>
#include <QRect>

#include <functional>

// The X11 screenshot through shared memory (MIT-SHM) on the kept X
// connection: the server writes the picture into memory both sides map,
// instead of sending it over the socket. The segment is made for one
// picture and gone right after it, and it holds a band of rows rather than
// the whole screen: every page of a fresh segment costs the server a page
// fault, so the picture is read band by band through the same small
// segment (bench_capture measures it beside the plain grab).
namespace XShmGrab {

// Takes `count` rows of 32-bit RGB pixels, `stride` bytes apart, valid only
// during the call.
using Rows = std::function<void(const uchar *rows, int count, qsizetype stride)>;

// Hands the `area` of the root window (in device pixels) of the session's
// display to `take`, band by band from the top. False when the display is
// not local, lacks the extension (version 1.2, for handing over the segment)
// or uses another pixel format, when `area` is not wholly on the screen or
// the server refuses (perhaps after some bands): the caller then grabs the
// plain way.
bool read(QRect area, const Rows &take);

// `area`, cut to the screen, as one picture; null where read() fails.
QImage grab(QRect area);

} // namespace XShmGrab
