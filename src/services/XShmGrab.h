#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// The X11 screenshot through shared memory (MIT-SHM): the server writes the
// picture straight into a segment both sides map, instead of sending it over
// the socket. A fresh segment per picture costs more in page faults than the
// socket saves on a local Xvfb (bench_capture measures both), and a kept one
// would hold the screen's size in memory all day, so captures do not use it
// yet; the capture benchmark does.
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
