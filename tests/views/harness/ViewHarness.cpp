#include "ViewHarness.h"

#include "Appearance.h"
#include "Palette.h"
#include "TestEnv.h"
#include "UiSetup.h"
#include "ViewsSetup.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QQuickWindow>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
QMutex g_mutex;
QStringList g_warnings;
QtMessageHandler g_previous = nullptr;
bool g_watching = false;

// Warnings of the QML engine and the Qt Quick items: bindings, type errors,
// unknown properties, missing images, anchors in positioners. Others (a
// test's own second setup of the scene graph, say) are not the screen's.
bool fromQml(const QMessageLogContext &context, const QString &message)
{
    const QByteArray category = context.category ? QByteArray(context.category) : QByteArray();
    return category == "qml" || category == "js" || category.startsWith("qt.qml") || category.startsWith("qt.quick")
        || message.contains(".qml:"_L1) || message.contains("QML "_L1) || message.contains("qrc:/"_L1);
}

void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if ((type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) && fromQml(context, message)) {
        QMutexLocker lock(&g_mutex);
        g_warnings.append(QString::fromLatin1(context.category ? context.category : "") + u": "_s + message);
    }
    if (g_previous)
        g_previous(type, context, message);
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

ViewHarness::ViewHarness(AppModel *model, const QString &file, QSize size)
{
    watchWarnings();
    static const bool prepared = [] {
        UiSetup::useDefaultRenderer();
        UiSetup::applyFonts();
        return true;
    }();
    Q_UNUSED(prepared);
    m_view = std::make_unique<QQuickView>();
    setLook(u"light"_s);
    ViewsSetup::registerWith(*m_view->engine(), model);
    // Errors the engine reports to its own listeners only.
    QObject::connect(m_view->engine(), &QQmlEngine::warnings, [](const QList<QQmlError> &errors) {
        QMutexLocker lock(&g_mutex);
        for (const QQmlError &e : errors)
            g_warnings.append(e.toString());
    });
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->resize(size);
    m_view->setSource(QFileInfo(file).isAbsolute() ? QUrl::fromLocalFile(file)
                                                   : QUrl(u"qrc:/qt/qml/Zimbrel/App/"_s + file));
    if (!m_view->errors().isEmpty())
        qWarning() << "QML errors:" << m_view->errors();
    m_view->setPosition(0, 0);
    m_view->show();
    m_view->requestActivate();
    if (!QTest::qWaitForWindowExposed(m_view.get(), 20000))
        qWarning("the test window was not shown");
    if (!QTest::qWaitForWindowActive(m_view.get(), 20000))
        qWarning("the test window did not become active");
}

ViewHarness::~ViewHarness() = default;

QQuickItem *ViewHarness::item(const QString &name) const
{
    QQuickItem *found = find(root(), name);
    if (!found)
        qWarning("no item %s", qPrintable(name));
    return found;
}

void ViewHarness::resize(QSize size)
{
    m_view->resize(size);
    QTRY_COMPARE(m_view->size(), size);
    QTest::qWait(60);
}

void ViewHarness::setLook(const QString &look)
{
    Appearance::setOverride(look);
    // Behind the screen, as the window shows it: the canvas.
    m_view->setColor(Palette::resolve(Palette::Name::canvas, look == "dark"_L1));
    QTest::qWait(50);
}

void ViewHarness::click(QQuickItem *item)
{
    if (!item)
        return;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(m_view.get(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

QImage ViewHarness::screenshot(const QString &folder, const QString &name, int settleMs)
{
    return screenshot(m_view.get(), folder, name, settleMs);
}

QImage ViewHarness::screenshot(QQuickWindow *window, const QString &folder, const QString &name, int settleMs)
{
    QTest::qWait(settleMs);
    const QImage shot = window->grabWindow();
    const QString dir = TestEnv::buildPath(folder.isEmpty() ? u"tests/views"_s : u"tests/views/"_s + folder);
    QDir().mkpath(dir);
    const QString path = dir + u'/' + name + u".png"_s;
    if (shot.save(path))
        qInfo("Saved %s", qPrintable(path));
    else
        qWarning("could not save %s", qPrintable(path));
    return shot;
}

QQuickItem *ViewHarness::find(QQuickItem *under, const QString &name)
{
    if (!under)
        return nullptr;
    if (under->objectName() == name)
        return under;
    const auto children = under->childItems();
    for (QQuickItem *child : children)
        if (QQuickItem *found = find(child, name))
            return found;
    return nullptr;
}

QQuickItem *ViewHarness::find(QQuickWindow *window, const QString &name)
{
    return window ? find(window->contentItem(), name) : nullptr;
}

bool ViewHarness::shown(QQuickItem *item)
{
    return item && item->isVisible() && item->width() > 0 && item->height() > 0;
}

QVariant ViewHarness::property(QQuickItem *item, const QString &name)
{
    return QQmlProperty(item, name, qmlContext(item)).read();
}

QStringList ViewHarness::overflows(QQuickItem *container)
{
    QStringList out;
    if (container)
        collect(container, container, out);
    return out;
}

void ViewHarness::watchWarnings()
{
    if (g_watching)
        return;
    g_watching = true;
    g_previous = qInstallMessageHandler(record);
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

AppModel::Platform ViewHarness::offlinePlatform(Clock *clock, QList<QString> *notices)
{
    AppModel::Platform p = AppModel::Platform::system();
    p.runTicker = false;
    p.clock = [clock] { return clock->now; };
    p.inputAllowed = [] { return false; };
    p.screenAllowed = [] { return false; };
    p.idleSeconds = [] { return 0.0; };
    p.frontmostApp = [] { return QStringLiteral("xterm"); };
    p.capture = []() -> QCoro::Task<std::optional<ScreenShot>> { co_return std::nullopt; };
    p.notify = [notices](const QString &, const QString &body) {
        if (notices)
            notices->append(body);
    };
    return p;
}
