#pragma once

#include "ScreenShot.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <QCoro/QCoroTask>

#include <optional>

// Takes one screenshot of the primary screen, encodes it and computes its
// average hash. Keeps nothing between calls.
namespace ScreenGrabber {

inline constexpr int maxWidth = 1600;
inline constexpr int jpegQuality = 60;

// Nothing without screen access (silently), on a capture error (logged as
// "screenshot failed: ..."), for an empty screen or when encoding fails.
// Never throws. On X it completes without suspending.
QCoro::Task<std::optional<ScreenShot>> capture();

// The picture size for a screen of `points`: scale = min(1600 / width, 1),
// each side truncated. Empty for an empty screen.
QSize captureSize(QSizeF points);

// The capture of the X11 primary screen, as capture() takes it there:
// through shared memory, the picture shrunk and encoded band by band; else
// grabbed whole the plain way. Nothing outside X11, for an empty screen, when
// the screen cannot be read (logged as in capture()) or encoding fails.
std::optional<ScreenShot> captureX11();

// The X11 primary screen as one picture, null on failure or outside X11.
QImage grab();
// The picture shrunk to `size` (no larger than it), each pixel the average
// of the area it covers.
QImage scaleToCapture(const QImage &grabbed, QSize size);
// The part of a picture of the whole desktop (all monitors, as the Wayland
// portal hands it over, in device pixels) that shows `screen`; `desktop` is
// the desktop's geometry in points. The picture unchanged when the screen is
// not inside the desktop.
QImage cropToScreen(const QImage &whole, QRect desktop, QRect screen);
// Turns a grabbed image into a shot for a screen of `points`.
std::optional<ScreenShot> finish(const QImage &grabbed, QSizeF points);

// The average hash of a picture (HashThumb); transparent parts count as
// black. Empty for a null image.
QString averageHash(const QImage &image);

} // namespace ScreenGrabber
