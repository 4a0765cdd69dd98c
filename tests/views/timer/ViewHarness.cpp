#include "ViewHarness.h"

#include "Appearance.h"
#include "TestEnv.h"
#include "UiSetup.h"
#include "ViewsSetup.h"

#include <QDir>
#include <QMutex>
#include <QQmlContext>
#include <QQmlProperty>
#include <QQuickItem>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
QMutex g_mutex;
QStringList g_warnings;
QtMessageHandler g_previous = nullptr;

void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        QMutexLocker lock(&g_mutex);
        g_warnings.append(QString::fromLatin1(context.category ? context.category : "") + u": "_s + message);
    }
    if (g_previous)
        g_previous(type, context, message);
}

QQuickItem *find(QQuickItem *from, const QString &name)
{
    if (from->objectName() == name)
        return from;
    for (QQuickItem *child : from->childItems())
        if (QQuickItem *found = find(child, name))
            return found;
    return nullptr;
}

void collect(QQuickItem *container, QQuickItem *at, QStringList &out)
{
    for (QQuickItem *child : at->childItems()) {
        if (!child->isVisible() || child->opacity() == 0 || child->objectName() == u"cardShadow")
            continue;
        if (child->width() > 0) {
            const QRectF r = child->mapRectToItem(container, QRectF(0, 0, child->width(), child->height()));
            if (r.left() < -0.5 || r.right() > container->width() + 0.5) {
                out.append(u"%1 %2 [%3, %4] in %5 wide %6"_s.arg(QString::fromLatin1(child->metaObject()->className()),
                    child->objectName()).arg(r.left()).arg(r.right()).arg(container->width())
                    .arg(container->objectName()));
                continue;
            }
        }
        collect(container, child, out);
    }
}
} // namespace

ViewHarness::ViewHarness(AppModel *model, const QString &screen)
{
    if (!g_previous) {
        g_previous = qInstallMessageHandler(record);
        UiSetup::useDefaultRenderer();
    }
    UiSetup::applyFonts();
    m_view = std::make_unique<QQuickView>();
    ViewsSetup::registerWith(*m_view->engine(), model);
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->setInitialProperties({{u"screen"_s, screen}});
    m_view->setSource(QUrl::fromLocalFile(TestEnv::sourcePath(u"tests/views/timer/ScreenHarness.qml"_s)));
    if (!m_view->errors().isEmpty())
        qWarning() << m_view->errors();
    m_view->resize(940, 640);
    m_view->setPosition(0, 0);
    m_view->show();
    QTest::qWaitForWindowExposed(m_view.get());
}

ViewHarness::~ViewHarness() = default;

QQuickItem *ViewHarness::root() const
{
    return m_view->rootObject();
}

QQuickItem *ViewHarness::item(const QString &objectName) const
{
    QQuickItem *found = root() ? find(root(), objectName) : nullptr;
    if (!found)
        qWarning("no item %s", qPrintable(objectName));
    return found;
}

QVariant ViewHarness::property(QQuickItem *item, const QString &name)
{
    return QQmlProperty(item, name, qmlContext(item)).read();
}

void ViewHarness::resize(int width, int height)
{
    m_view->resize(width, height);
    QTest::qWait(60);
    QCoreApplication::processEvents();
}

QImage ViewHarness::shoot(const QString &look, const QString &file)
{
    Appearance::setOverride(look);
    // Let bindings settle, animations end and a few frames pass.
    QTest::qWait(900);
    const QImage shot = m_view->grabWindow();
    QDir().mkpath(TestEnv::buildPath(u"tests/views"_s));
    const QString path = TestEnv::buildPath(u"tests/views/%1.png"_s.arg(file));
    if (!shot.save(path))
        qWarning("could not save %s", qPrintable(path));
    else
        qInfo("Saved %s", qPrintable(path));
    return shot;
}

QStringList ViewHarness::overflows(QQuickItem *container)
{
    QStringList out;
    if (container)
        collect(container, container, out);
    return out;
}

QStringList ViewHarness::warnings()
{
    QMutexLocker lock(&g_mutex);
    return g_warnings;
}

void ViewHarness::clearWarnings()
{
    QMutexLocker lock(&g_mutex);
    g_warnings.clear();
}
