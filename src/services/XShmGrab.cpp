#include "XShmGrab.h"

#include "XConnection.h"

#include <QPainter>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

// Unmaps the segment once the last copy of the picture is gone; the segment
// itself was marked for removal when it was mapped.
void unmap(void *address)
{
    shmdt(address);
}

// The picture's format for the server's visual, when it is one QImage reads
// as is (24 or 32-bit TrueColor in 32 bits per pixel, in this machine's
// byte order).
bool plainRgb32(const XImage *image)
{
    return image->bits_per_pixel == 32 && image->red_mask == 0xff0000 && image->green_mask == 0x00ff00
           && image->blue_mask == 0x0000ff && image->byte_order == (QSysInfo::ByteOrder == QSysInfo::LittleEndian
                                                                        ? LSBFirst : MSBFirst);
}

} // namespace

namespace XShmGrab {

QImage grab(QRect area)
{
    XConnection *connection = XConnection::session();
    if (!connection || area.isEmpty())
        return {};
    Display *dpy = connection->display();
    if (!XShmQueryExtension(dpy))
        return {};
    const int screen = DefaultScreen(dpy);
    const QRect root(0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen));
    area = area.intersected(root);
    if (area.isEmpty())
        return {};

    XShmSegmentInfo segment{};
    XImage *image = XShmCreateImage(dpy, DefaultVisual(dpy, screen), unsigned(DefaultDepth(dpy, screen)), ZPixmap,
                                    nullptr, &segment, unsigned(area.width()), unsigned(area.height()));
    if (!image)
        return {};
    if (!plainRgb32(image)) {
        XDestroyImage(image);
        return {};
    }
    segment.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(image->height), IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        XDestroyImage(image);
        return {};
    }
    void *address = shmat(segment.shmid, nullptr, 0);
    // Marked for removal now: it goes when the last side lets go of it, even
    // if this process ends abruptly.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void *>(-1)) {
        XDestroyImage(image);
        return {};
    }
    segment.shmaddr = image->data = static_cast<char *>(address);
    segment.readOnly = False;

    bool ok = false;
    {
        // A server on another machine cannot attach the segment: an error,
        // not a crash.
        XConnection::ErrorTrap trap(*connection);
        if (XShmAttach(dpy, &segment)) {
            ok = XShmGetImage(dpy, RootWindow(dpy, screen), image, area.x(), area.y(), AllPlanes);
            XShmDetach(dpy, &segment);
        }
        ok = !trap.failed() && ok;
    }
    // Events read while waiting for the picture sit in Xlib's queue.
    connection->dispatch();
    const int width = image->width;
    const int height = image->height;
    const qsizetype stride = image->bytes_per_line;
    image->data = nullptr; // the memory is the segment's, released below
    XDestroyImage(image);
    if (!ok) {
        shmdt(address);
        return {};
    }
    return QImage(static_cast<uchar *>(address), width, height, stride, QImage::Format_RGB32, unmap, address);
}

QImage scaled(const QImage &picture, QSize size)
{
    if (picture.isNull() || size.isEmpty())
        return {};
    if (picture.size() == size)
        return picture;
    QImage out(size, QImage::Format_RGB32);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(QPoint(0, 0), size), picture);
    painter.end();
    return out;
}

} // namespace XShmGrab
