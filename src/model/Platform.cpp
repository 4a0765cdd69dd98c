#include "Platform.h"

#include "FrontmostApp.h"
#include "IdleTime.h"
#include "LoginItem.h"
#include "Notifier.h"
#include "Permissions.h"

#include <ctime>

Platform Platform::system()
{
    Platform p;
    p.clock = [] { return Instant::now(); };
    p.inputAllowed = [] { return Permissions::preflightInput(); };
    p.screenAllowed = [] { return Permissions::preflightScreen(); };
    p.loginItemEnabled = [] { return LoginItem::enabled(); };
    p.setLoginItem = [](bool on) { return LoginItem::set(on); };
    p.idleSeconds = [] { return IdleTime::seconds(); };
    p.elapsed = [] {
        timespec ts{};
        clock_gettime(CLOCK_BOOTTIME, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    };
    FrontmostApp::follow();
    p.frontmostApp = [] { return FrontmostApp::name(); };
    p.capture = [] { return ScreenGrabber::capture(); };
    p.notify = [](const QString &title, const QString &body) { Notifier::send(title, body); };
    return p;
}
