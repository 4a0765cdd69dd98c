#include "Platform.h"

#include "FrontmostApp.h"
#include "IdleTime.h"
#include "LoginItem.h"
#include "Notifier.h"
#include "Permissions.h"

Platform Platform::system()
{
    Platform p;
    p.clock = [] { return Instant::now(); };
    p.inputAllowed = [] { return Permissions::preflightInput(); };
    p.screenAllowed = [] { return Permissions::preflightScreen(); };
    p.loginItemEnabled = [] { return LoginItem::enabled(); };
    p.setLoginItem = [](bool on) { return LoginItem::set(on); };
    p.idleSeconds = [] { return IdleTime::seconds(); };
    FrontmostApp::follow();
    p.frontmostApp = [] { return FrontmostApp::name(); };
    p.capture = [] { return ScreenGrabber::capture(); };
    p.notify = [](const QString &title, const QString &body) { Notifier::send(title, body); };
    return p;
}
