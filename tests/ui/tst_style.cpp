// The visual language's rules: appearance sources, palette values, icon
// names and drawing, avatar colours, pill states and the mark's pulse.
#include "Appearance.h"
#include "AvatarView.h"
#include "FakePortal.h"
#include "IconImageProvider.h"
#include "IconSet.h"
#include "LogCounter.h"
#include "Palette.h"
#include "ShadowImageProvider.h"
#include "TestEnv.h"
#include "UiSetup.h"
#include "ZimbrelWordmark.h"
#include "ZimbrelZ.h"

#include <QFile>
#include <QGuiApplication>
#include <QMetaProperty>
#include <QPalette>
#include <QSignalSpy>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSvgRenderer>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
struct Expected {
    const char *name;
    QRgb light;
    QRgb dark;
};
// The palette as designed; adaptive colours differ between the two looks.
const Expected palette[] = {
    {"shell", 0x0A2A21, 0x050D0A},      {"shellMuted", 0x8DB0A2, 0x8DB0A2}, {"canvas", 0xF8F8F7, 0x0D0E10},
    {"card", 0xFFFFFF, 0x17181B},       {"line", 0xE9E9E7, 0x2B2C31},       {"track", 0xEDEDEB, 0x2A2B30},
    {"ink", 0x101113, 0xF1F1F3},        {"ink2", 0x45474D, 0xBDBEC4},       {"muted", 0x85868C, 0x85878F},
    {"brand", 0x0F8F63, 0x2CC48B},      {"brandDeep", 0x0A6B4A, 0x0F7A55},  {"brandSoft", 0xDCF2E7, 0x12372A},
    {"lime", 0xCDF36A, 0xCDF36A},       {"limeInk", 0x1C2A08, 0x1C2A08},    {"amber", 0xE9A520, 0xE9A520},
    {"amberSoft", 0xFBEFD2, 0x3A2D0F},  {"violet", 0x7D6DF0, 0x7D6DF0},     {"violetSoft", 0xEBE8FD, 0x231F45},
    {"sky", 0x2F9BDC, 0x2F9BDC},        {"skySoft", 0xDEF0FB, 0x10303F},    {"rose", 0xE2496A, 0xE2496A},
    {"roseSoft", 0xFBE2E8, 0x3B1620},
};

QRgb rgbOf(const QColor &c)
{
    return c.rgb() & 0xFFFFFF;
}
} // namespace

class TestStyle : public QObject {
    Q_OBJECT

private:
    QQmlEngine *m_engine = nullptr;
    std::unique_ptr<QQuickWindow> m_window;

    // Creates `qml` (with QtQuick and Zimbrel.Ui imported) inside the test window.
    QQuickItem *make(const QByteArray &qml)
    {
        QQmlComponent component(m_engine);
        component.setData("import Zimbrel.Ui\nimport QtQuick\n" + qml, QUrl(u"inline.qml"_s));
        QObject *object = component.create();
        if (!object) {
            qWarning() << component.errors();
            return nullptr;
        }
        auto *item = qobject_cast<QQuickItem *>(object);
        item->setParentItem(m_window->contentItem());
        item->setParent(m_window->contentItem());
        return item;
    }

private Q_SLOTS:
    void initTestCase()
    {
        UiSetup::useDefaultRenderer();
        UiSetup::applyFonts();
        m_engine = new QQmlEngine(this);
        UiSetup::registerWith(*m_engine);
        m_window = std::make_unique<QQuickWindow>();
        m_window->resize(400, 300);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        Appearance::setOverride(u"light"_s);
        for (QQuickItem *child : m_window->contentItem()->childItems())
            delete child;
    }

    void overrideForcesEitherLookAndRefusesOthers()
    {
        Appearance appearance(nullptr);
        LogCounter log;
        QVERIFY(appearance.applyOverride(u"dark"_s));
        QVERIFY(appearance.isDark());
        QCOMPARE(appearance.source(), u"override"_s);
        QVERIFY(appearance.applyOverride(u" Light "_s));
        QVERIFY(!appearance.isDark());
        QCOMPARE(log.warnings(), 0);

        QSignalSpy flips(&appearance, &Appearance::darkChanged);
        QVERIFY(!appearance.applyOverride(u"sepia"_s));
        QVERIFY(!appearance.applyOverride(u"1"_s));
        QCOMPARE(log.warnings(), 2);
        QVERIFY(!appearance.isDark());
        QCOMPARE(appearance.source(), u"override"_s);
        QCOMPARE(flips.count(), 0);

        // "" hands the decision back to the desktop (here: no portal, light palette).
        QVERIFY(appearance.applyOverride(QString()));
        QCOMPARE(appearance.source(), u"palette"_s);
    }

    void everyAdaptiveColourFlipsAndFixedOnesStay()
    {
        // Read through QML, as the screens do, so the change notification is part of it.
        QByteArray names;
        for (const auto &e : palette)
            names += QByteArray("\"") + e.name + "\",";
        QQuickItem *probe = make("Item { property var names: [" + names
                                 + "]; property var values: names.map(n => String(Palette[n])) }");
        QVERIFY(probe);
        Appearance::setOverride(u"light"_s);
        const QVariantList light = probe->property("values").toList();
        Appearance::setOverride(u"dark"_s);
        const QVariantList dark = probe->property("values").toList();
        QCOMPARE(light.size(), int(std::size(palette)));
        QCOMPARE(dark.size(), int(std::size(palette)));
        for (int i = 0; i < light.size(); ++i) {
            const Expected &e = palette[i];
            QCOMPARE(rgbOf(QColor(light[i].toString())), e.light);
            QCOMPARE(rgbOf(QColor(dark[i].toString())), e.dark);
            QCOMPARE(light[i].toString().size(), 7); // opaque: no alpha part
            QCOMPARE(Palette::isAdaptive(Palette::Name(i)), e.light != e.dark);
        }
        QCOMPARE(Palette::count, int(std::size(palette)));

        // A binding in a view follows a flip.
        QQuickItem *rect = make("Rectangle { color: Palette.card }");
        Appearance::setOverride(u"light"_s);
        QCOMPARE(rgbOf(rect->property("color").value<QColor>()), 0xFFFFFFu);
        Appearance::setOverride(u"dark"_s);
        QCOMPARE(rgbOf(rect->property("color").value<QColor>()), 0x17181Bu);
    }

    void portalSchemeIsFollowed()
    {
        FakePortal portal;
        portal.scheme = 1u;
        QVERIFY(portal.start());
        Appearance appearance(nullptr);
        QVERIFY(TestEnv::waitFor([&] { return appearance.source() == "portal"_L1; }, 3000));
        QVERIFY(appearance.isDark());

        portal.change(2u);
        QVERIFY(TestEnv::waitFor([&] { return !appearance.isDark(); }, 3000));
        // Other keys of the namespace are not the colour scheme.
        portal.change(1u, u"accent-color"_s);
        QTest::qWait(100);
        QVERIFY(!appearance.isDark());
        portal.change(1u);
        QVERIFY(TestEnv::waitFor([&] { return appearance.isDark(); }, 3000));

        // The --appearance override wins over the desktop, and letting go returns to it.
        QVERIFY(appearance.applyOverride(u"light"_s));
        QVERIFY(!appearance.isDark());
        QVERIFY(appearance.applyOverride(u"system"_s));
        QVERIFY(appearance.isDark());
    }

    void olderPortalAndBadValues()
    {
        FakePortal portal;
        portal.readOneMissing = true;
        portal.scheme = 1u;
        QVERIFY(portal.start());
        {
            Appearance appearance(nullptr);
            QVERIFY(TestEnv::waitFor([&] { return appearance.isDark(); }, 3000));
        }
        // A value that is no colour scheme: one warning, and the palette decides.
        LogCounter log;
        portal.scheme = u"dark"_s;
        Appearance appearance(nullptr);
        QVERIFY(TestEnv::waitFor([&] { return log.warnings() == 1; }, 3000));
        QTest::qWait(50);
        QCOMPARE(log.warnings(), 1);
        QCOMPARE(appearance.source(), u"palette"_s);
        QVERIFY(!appearance.isDark());
    }

    void paletteDecidesWithoutPortal()
    {
        Appearance appearance(nullptr);
        QTest::qWait(100); // the portal call fails: nobody owns the name
        QCOMPARE(appearance.source(), u"palette"_s);
        const QPalette saved = QGuiApplication::palette();
        QPalette darkPalette = saved;
        darkPalette.setColor(QPalette::Window, QColor(0x20, 0x22, 0x25));
        QGuiApplication::setPalette(darkPalette);
        QVERIFY(TestEnv::waitFor([&] { return appearance.isDark(); }, 2000));
        QGuiApplication::setPalette(saved);
        QVERIFY(TestEnv::waitFor([&] { return !appearance.isDark(); }, 2000));
    }

    void solidVariantOnlyForSolidCapableNames()
    {
        QCOMPARE(IconSet::solidCapable().size(), 15);
        QCOMPARE(IconSet::resourceName(u"stopwatch"_s, true), u"solid.stopwatch"_s);
        QCOMPARE(IconSet::resourceName(u"stopwatch"_s, false), u"line.stopwatch"_s);
        QCOMPARE(IconSet::resourceName(u"pencil"_s, true), u"line.pencil"_s);
        QCOMPARE(IconSet::resourceName(u"checkmark"_s, true), u"line.checkmark"_s);
        // Names are exact: no case folding into a solid-capable name.
        QCOMPARE(IconSet::resourceName(u"Stopwatch"_s, true), u"line.Stopwatch"_s);

        QQuickItem *icon = make("FlexIcon { name: \"pencil-square\"; solid: true; size: 20 }");
        QCOMPARE(icon->property("resourceName").toString(), u"solid.pencil-square"_s);
        icon->setProperty("name", u"invisible-1"_s);
        QCOMPARE(icon->property("resourceName").toString(), u"line.invisible-1"_s);
        QCOMPARE(icon->property("source").toUrl().toString(), u"image://icon/line.invisible-1/ff101113"_s);
    }

    void everyInterfaceIconResolves()
    {
        QCOMPARE(IconSet::interfaceNames().size(), 21);
        for (const QString &name : IconSet::interfaceNames()) {
            for (bool solid : {false, true}) {
                const QString path = IconSet::filePath(IconSet::resourceName(name, solid));
                QVERIFY2(QFile::exists(path), qPrintable(path));
                QSvgRenderer svg(path);
                QVERIFY2(svg.isValid(), qPrintable(path));
            }
            QCOMPARE(QFile::exists(IconSet::filePath(u"solid."_s + name)), IconSet::isSolidCapable(name));
        }
    }

    void iconsAreTintedAtTheAskedSize()
    {
        IconImageProvider provider;
        QSize size;
        const QImage image = provider.requestImage(u"solid.stopwatch/ffe2496a"_s, &size, QSize(48, 48));
        QCOMPARE(size, QSize(48, 48));
        int covered = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 255) {
                    ++covered;
                    QCOMPARE(rgbOf(c), 0xE2496Au);
                }
            }
        }
        QVERIFY(covered > 48 * 48 / 4);
        // Without a size the icon is drawn at its natural 24 points.
        QCOMPARE(provider.requestImage(u"line.cog/ff000000"_s, &size, QSize()).size(), QSize(24, 24));
    }

    void badIconRequestsGiveNothingAndOneWarning()
    {
        LogCounter log;
        IconImageProvider provider;
        QSize size;
        QImage missing = provider.requestImage(u"line.no-such-icon/ff000000"_s, &size, QSize(16, 16));
        QCOMPARE(log.warnings(), 1);
        QCOMPARE(missing.size(), QSize(16, 16));
        QCOMPARE(missing.pixelColor(8, 8).alpha(), 0);

        log.reset();
        QVERIFY(IconSet::source(u"no-such-icon"_s, false, Qt::black, 20).isEmpty());
        QCOMPARE(log.warnings(), 1);
        log.reset();
        QVERIFY(IconSet::source(u"cog"_s, false, Qt::black, 0).isEmpty());
        QCOMPARE(log.warnings(), 1);
        log.reset();
        QVERIFY(IconSet::source(QString(), false, Qt::black, 20).isEmpty());
        QCOMPARE(log.warnings(), 0); // no name set yet is not an error

        log.reset();
        QQuickItem *icon = make("FlexIcon { name: \"cog\"; size: 0 }");
        QVERIFY(icon);
        QCOMPARE(log.warnings(), 1);
        QVERIFY(icon->property("source").toUrl().isEmpty());
    }

    void avatarSeedRules()
    {
        QCOMPARE(AvatarView::seed(QString()), 7u);
        QCOMPARE(AvatarView::seed(u"A"_s), 7u * 31u + 'a');
        QCOMPARE(AvatarView::seed(u"Ada Lovelace"_s), AvatarView::seed(u"ADA LOVELACE"_s));
        QCOMPARE(AvatarView::rowFor(u"Ada Lovelace"_s), AvatarView::rowFor(u"ada lovelace"_s));

        // Long enough to wrap 32 bits several times.
        const QString name = u"Maximilian Zimmermann-Bartholomew"_s;
        quint64 wide = 7;
        for (QChar c : name.toLower())
            wide = (wide * 31 + c.unicode()) & 0xFFFFFFFFull;
        QCOMPARE(AvatarView::seed(name), quint32(wide));
        QCOMPARE(AvatarView::rowFor(name), int(wide % 8));

        // One scalar outside the basic plane counts once, not as two halves.
        QCOMPARE(AvatarView::seed(u"😀"_s), 7u * 31u + 0x1F600u);
    }

    void avatarBadNamesGetDefaultRow()
    {
        LogCounter log;
        QCOMPARE(AvatarView::rowFor(QString()), 7);
        QCOMPARE(log.warnings(), 1);
        log.reset();
        const QString huge(2'000'000, u'x');
        QCOMPARE(AvatarView::rowFor(huge), 7);
        QCOMPARE(log.warnings(), 1);
        log.reset();
        QQuickItem *avatar = make("AvatarView { name: \"\"; size: 0 }");
        QVERIFY(avatar);
        QCOMPARE(avatar->property("row").toInt(), 7);
        QCOMPARE(log.warnings(), 2);
    }

    void disabledQuietPillKeepsItsBorder()
    {
        QQuickItem *pill = make("PillButtonStyle { kind: PillButtonStyle.Quiet; text: \"Later\"; enabled: false }");
        QVERIFY(pill);
        QCOMPARE(pill->opacity(), 0.45);
        QCOMPARE(pill->scale(), 1.0);
        auto *background = pill->findChild<QQuickItem *>(u"pillBackground"_s);
        QVERIFY(background);
        QObject *border = background->property("border").value<QObject *>();
        QCOMPARE(border->property("width").toReal(), 1.0);
        QCOMPARE(rgbOf(border->property("color").value<QColor>()), 0xE9E9E7u);
        QCOMPARE(rgbOf(background->property("color").value<QColor>()), 0xFFFFFFu);
        QCOMPARE(background->property("radius").toReal(), pill->height() / 2);
        QCOMPARE(pill->height(), 36.0);
    }

    void pressedPillDimsAndShrinks()
    {
        QQuickItem *pill = make("PillButtonStyle { x: 40; y: 40; kind: PillButtonStyle.Brand; text: \"Start\" }");
        QVERIFY(pill);
        QCOMPARE(pill->opacity(), 1.0);
        const QPoint centre = pill->mapToScene(QPointF(pill->width() / 2, pill->height() / 2)).toPoint();
        QTest::mousePress(m_window.get(), Qt::LeftButton, {}, centre);
        QVERIFY(TestEnv::waitFor([&] { return qFuzzyCompare(pill->opacity(), 0.85); }, 1000));
        QVERIFY(TestEnv::waitFor([&] { return qFuzzyCompare(pill->scale(), 0.98); }, 1000));
        QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, centre);
        QVERIFY(TestEnv::waitFor([&] { return qFuzzyCompare(pill->opacity(), 1.0) && qFuzzyCompare(pill->scale(), 1.0); }, 1000));

        // A pressed disabled pill stays at 45 % and full size.
        pill->setProperty("down", true);
        pill->setEnabled(false);
        QVERIFY(TestEnv::waitFor([&] { return qFuzzyCompare(pill->opacity(), 0.45); }, 1000));
        QCOMPARE(pill->scale(), 1.0);
    }

    void markPulsesWhileLiveAndSettles()
    {
        QQuickItem *mark = make("ZimbrelMark { size: 40; live: true }");
        QVERIFY(mark);
        QVERIFY(mark->property("beat").toBool());
        auto *dot = mark->findChild<QQuickItem *>(u"markDot"_s);
        QVERIFY(dot);
        QVERIFY(TestEnv::waitFor([&] { return dot->scale() > 1.05 && dot->opacity() < 0.95; }, 800));

        mark->setProperty("live", false);
        QVERIFY(!mark->property("beat").toBool());
        QTest::qWait(260);
        QCOMPARE(dot->scale(), 1.0);
        QCOMPARE(dot->opacity(), 1.0);
    }

    void brandLabelsForAccessibility()
    {
        QQuickItem *probe = make("Item { property string markName: m.Accessible.name; property string lockupName: l.Accessible.name;"
                                 " ZimbrelMark { id: m; objectName: \"m\"; live: true } ZimbrelLockup { id: l; live: true } }");
        QVERIFY(probe);
        QCOMPARE(probe->property("markName").toString(), u"Zimbrel, tracking"_s);
        QCOMPARE(probe->property("lockupName").toString(), u"Zimbrel"_s);
        probe->findChild<QQuickItem *>(u"m"_s)->setProperty("live", false);
        QCOMPARE(probe->property("markName").toString(), u"Zimbrel"_s);
    }

    void brandShapesFillTheirBoxes()
    {
        for (const BrandShape::Design *design : {&ZimbrelZ::shape(), &ZimbrelWordmark::shape()}) {
            const QRectF bounds = BrandShape::outline(*design).boundingRect();
            const QRectF box(QPointF(0, 0), design->box);
            // Inside the box and reaching every side of it (within half a unit).
            QVERIFY2(box.adjusted(-0.5, -0.5, 0.5, 0.5).contains(bounds), qPrintable(QDebug::toString(bounds)));
            QVERIFY2(bounds.adjusted(-0.5, -0.5, 0.5, 0.5).contains(box), qPrintable(QDebug::toString(bounds)));
        }
        QCOMPARE(ZimbrelZ::shape().box, QSizeF(124, 180));
        QCOMPARE(ZimbrelWordmark::shape().box, QSizeF(778, 180));
    }

    void shadowImage()
    {
        LogCounter log;
        const QImage shadow = ShadowImageProvider::render(18, 14);
        QCOMPARE(shadow.width(), ShadowImageProvider::sideFor(18, 14));
        const int mid = shadow.width() / 2;
        QCOMPARE(shadow.pixelColor(mid, mid).alpha(), 255);
        QCOMPARE(shadow.pixelColor(0, 0).alpha(), 0);
        // Fades monotonically from the middle to the edge.
        for (int x = 1; x < mid; ++x)
            QVERIFY(shadow.pixelColor(x, mid).alpha() >= shadow.pixelColor(x - 1, mid).alpha());
        QCOMPARE(log.warnings(), 0);

        ShadowImageProvider provider;
        QSize size;
        QVERIFY(provider.requestImage(u"eighteen"_s, &size, QSize()).isNull());
        QCOMPARE(log.warnings(), 1);
    }
};

QTEST_MAIN(TestStyle)
#include "tst_style.moc"
