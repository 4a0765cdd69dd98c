#include "XShmGrab.h"

#include "XConnection.h"

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The segment's size: small enough that the server's page faults on it cost
// little, large enough that the picture takes few round trips.
constexpr qsizetype bandBytes = 1024 * 1024;

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

// Whether the server can hand over pictures through a segment passed as a
// file descriptor, in a format QImage reads as is (24 or 32-bit TrueColor in
// 32 bits per pixel, in this machine's byte order). Asked once per connection.
bool supported(XConnection &connection)
{
    static int askedSerial = 0;
    static bool answer = false;
    if (askedSerial == connection.serial())
        return answer;
    askedSerial = connection.serial();
    answer = false;

    // Descriptors pass only over a local socket; sending one over TCP
    // would break the connection.
    sockaddr_storage address{};
    socklen_t addressLength = sizeof address;
    if (getsockname(connection.fd(), reinterpret_cast<sockaddr *>(&address), &addressLength) != 0
        || address.ss_family != AF_UNIX)
        return false;
    Display *dpy = connection.display();
    xcb_connection_t *c = XGetXCBConnection(dpy);
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_shm_id);
    if (!extension || !extension->present)
        return false;
    const std::unique_ptr<xcb_shm_query_version_reply_t, FreeDeleter> version(
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 2))
        return false;

    const int screen = DefaultScreen(dpy);
    const Visual *visual = DefaultVisual(dpy, screen);
    const int depth = DefaultDepth(dpy, screen);
    if (visual->c_class != TrueColor || visual->red_mask != 0xff0000 || visual->green_mask != 0x00ff00
        || visual->blue_mask != 0x0000ff || (depth != 24 && depth != 32))
        return false;
    const int order = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? LSBFirst : MSBFirst;
    if (ImageByteOrder(dpy) != order)
        return false;
    int count = 0;
    XPixmapFormatValues *formats = XListPixmapFormats(dpy, &count);
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == depth)
            answer = formats[i].bits_per_pixel == 32 && formats[i].scanline_pad == 32;
    }
    XFree(formats);
    return answer;
}

QRect screenRect(Display *dpy)
{
    const int screen = DefaultScreen(dpy);
    return QRect(0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen));
}

// Hands `area` of the root to `take`, band by band through one segment;
// false when the server refused.
bool readBands(xcb_connection_t *c, xcb_window_t root, QRect area, const XShmGrab::Rows &take)
{
    const qsizetype stride = qsizetype(area.width()) * 4;
    const int rows = int(std::clamp<qsizetype>(bandBytes / stride, 1, area.height()));
    const size_t length = size_t(stride) * size_t(rows);
    const int fd = memfd_create("zimbrel-screenshot", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    // The pages made in one call rather than by a fault for each.
    void *band = MAP_FAILED;
    if (ftruncate(fd, off_t(length)) == 0)
        band = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (band == MAP_FAILED) {
        close(fd);
        return false;
    }
    // The server maps the segment and XCB closes the descriptor: once both
    // sides let go of it, the memory is gone.
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    const xcb_void_cookie_t attached = xcb_shm_attach_fd_checked(c, segment, fd, 0);
    bool ok = true;
    for (int y = 0; ok && y < area.height(); y += rows) {
        const int height = std::min(rows, area.height() - y);
        xcb_generic_error_t *error = nullptr;
        const std::unique_ptr<xcb_shm_get_image_reply_t, FreeDeleter> reply(xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, root, int16_t(area.x()), int16_t(area.y() + y), uint16_t(area.width()),
                              uint16_t(height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0),
            &error));
        std::free(error);
        ok = reply && qsizetype(reply->size) >= stride * height;
        if (ok)
            take(static_cast<const uchar *>(band), height, stride);
    }
    // A refused attachment was answered before the first band's reply, so
    // asking costs no round trip; the detachment's answer is not waited for.
    std::free(xcb_request_check(c, attached));
    xcb_discard_reply(c, xcb_shm_detach_checked(c, segment).sequence);
    xcb_flush(c);
    munmap(band, length);
    return ok;
}

} // namespace

namespace XShmGrab {

bool read(QRect area, const Rows &take)
{
    XConnection *connection = XConnection::session();
    if (!connection || connection->broken() || area.isEmpty() || !supported(*connection))
        return false;
    Display *dpy = connection->display();
    if (!screenRect(dpy).contains(area))
        return false;
    const bool ok = readBands(XGetXCBConnection(dpy), xcb_window_t(RootWindow(dpy, DefaultScreen(dpy))), area, take);
    // Events read while waiting for the picture wait in the queue.
    connection->dispatch();
    return ok;
}

QImage grab(QRect area)
{
    XConnection *connection = XConnection::session();
    if (!connection || connection->broken())
        return {};
    area = area.intersected(screenRect(connection->display()));
    if (area.isEmpty())
        return {};
    QImage picture(area.size(), QImage::Format_RGB32);
    int y = 0;
    const bool ok = !picture.isNull() && read(area, [&](const uchar *rows, int count, qsizetype stride) {
        for (int i = 0; i < count; ++i, ++y)
            std::memcpy(picture.scanLine(y), rows + stride * i, size_t(stride));
    });
    return ok ? picture : QImage();
}

} // namespace XShmGrab
