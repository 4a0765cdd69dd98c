#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// The X11 screenshot through shared memory (MIT-SHM) on the kept X
// connection: the server writes the picture into memory both sides map,
// instead of sending it over the socket. The segment is made for one
// picture and gone right after it, and it holds a band of rows rather than
// the whole screen: every page of a fresh segment costs the server a page
// fault, so the picture is read band by band through the same small
// segment (bench_capture measures it beside the plain grab).
namespace XShmGrab {

// The `area` of the root window (in device pixels) of the session's display,
// as a 32-bit RGB picture. Null when the display is not local, lacks the
// extension (version 1.2, for handing over the segment) or uses another
// pixel format, or the server refuses: the caller then grabs the plain way.
QImage grab(QRect area);

} // namespace XShmGrab
