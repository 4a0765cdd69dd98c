#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// The X11 screenshot through shared memory (MIT-SHM): the server writes the
// picture straight into a segment both sides map, instead of sending it over
// the socket, which for a large screen is most of a capture's cost.
namespace XShmGrab {

// The `area` of the root window (in device pixels) of the session's display,
// as a 32-bit RGB picture that shares the segment's memory (released with
// the last copy of the picture). Null when the display is not local or lacks
// the extension, or the server refuses: the caller then grabs the plain way.
QImage grab(QRect area);

// The picture at `size`, bilinearly filtered. Much cheaper than Qt's smooth
// (area-averaging) scale and looks the same for a picture that is only ever
// shown small. The picture unchanged when it has that size already; null for
// a null picture or an empty size.
QImage scaled(const QImage &picture, QSize size);

} // namespace XShmGrab
