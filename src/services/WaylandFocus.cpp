#include "WaylandFocus.h"

#include "FocusSource.h"
#include "GnomeFocus.h"
#include "KWinFocusScript.h"
#include "SwayFocus.h"

#include <QCoreApplication>

WaylandFocus::WaylandFocus(QObject *parent)
    : QObject(parent)
{
    // Each channel stays silent (not live) on a desktop that lacks it.
    if (!qEnvironmentVariableIsEmpty("SWAYSOCK"))
        m_sources.append(new SwayFocus(qEnvironmentVariable("SWAYSOCK"), this));
    m_sources.append(new GnomeFocus(this));
    m_sources.append(new KWinFocusScript(this));
    for (FocusSource *source : std::as_const(m_sources))
        connect(source, &FocusSource::changed, this, &WaylandFocus::changed);
}

WaylandFocus::~WaylandFocus() = default;

WaylandFocus &WaylandFocus::instance()
{
    static WaylandFocus *focus = [] {
        QCoreApplication *app = QCoreApplication::instance();
        auto *made = new WaylandFocus(app);
        // The KWin script must go while the bus is still there.
        if (app) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, made, [made] {
                for (auto *script : made->findChildren<KWinFocusScript *>())
                    script->unload();
            });
        }
        return made;
    }();
    return *focus;
}

std::optional<FocusedWindow> WaylandFocus::current() const
{
    for (const FocusSource *source : m_sources) {
        if (source->live())
            return source->window();
    }
    return std::nullopt;
}

bool WaylandFocus::live() const
{
    return std::any_of(m_sources.cbegin(), m_sources.cend(), [](const FocusSource *s) { return s->live(); });
}
