#include "ViewHarness.h"

#include "Appearance.h"
#include "Palette.h"
#include "TestEnv.h"
#include "UiSetup.h"
#include "ViewsSetup.h"

#include <QDir>
#include <QMutex>
#include <QQmlEngine>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
QMutex warningLock;
QStringList seen;
QtMessageHandler previous = nullptr;

// Warnings of the QML engine and the Qt Quick items: bindings, type errors,
// missing images, anchors in positioners.
bool fromQml(const QMessageLogContext &context, const QString &message)
{
    const QByteArray category = context.category ? QByteArray(context.category) : QByteArray();
    return category == "qml" || category == "js" || category.startsWith("qt.qml") || category.startsWith("qt.quick")
        || message.contains(".qml:"_L1) || message.contains("QML "_L1);
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if ((type == QtWarningMsg || type == QtCriticalMsg) && fromQml(context, message)) {
        QMutexLocker lock(&warningLock);
        seen.append(message);
    }
    if (previous)
        previous(type, context, message);
}
} // namespace

ViewHarness::ViewHarness(AppModel *model, const QString &file, QSize size)
{
    {
        QMutexLocker lock(&warningLock);
        seen.clear();
    }
    previous = qInstallMessageHandler(handler);
    static const bool prepared = [] {
        UiSetup::useDefaultRenderer();
        UiSetup::applyFonts();
        return true;
    }();
    Q_UNUSED(prepared);
    m_view = std::make_unique<QQuickView>();
    setLook(u"light"_s);
    ViewsSetup::registerWith(*m_view->engine(), model);
    QObject::connect(m_view->engine(), &QQmlEngine::warnings, [](const QList<QQmlError> &errors) {
        QMutexLocker lock(&warningLock);
        for (const QQmlError &e : errors)
            seen.append(e.toString());
    });
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->resize(size);
    m_view->setSource(QUrl(u"qrc:/qt/qml/Zimbrel/App/"_s + file));
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

ViewHarness::~ViewHarness()
{
    m_view.reset();
    qInstallMessageHandler(previous);
    previous = nullptr;
}

QQuickItem *ViewHarness::find(QQuickItem *under, const QString &name)
{
    if (!under)
        return nullptr;
    if (under->objectName() == name)
        return under;
    for (QQuickItem *child : under->childItems())
        if (QQuickItem *found = find(child, name))
            return found;
    return nullptr;
}

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
    QTest::qWait(50);
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

QImage ViewHarness::screenshot(const QString &folder, const QString &name)
{
    // Let animations (focus glow, switches) end before the picture.
    QTest::qWait(250);
    const QImage shot = m_view->grabWindow();
    const QString dir = TestEnv::buildPath(u"tests/views/"_s + folder);
    QDir().mkpath(dir);
    const QString path = dir + u'/' + name + u".png"_s;
    if (shot.save(path))
        qInfo("Saved %s", qPrintable(path));
    else
        qWarning("could not save %s", qPrintable(path));
    return shot;
}

QStringList ViewHarness::warnings()
{
    QMutexLocker lock(&warningLock);
    return seen;
}
