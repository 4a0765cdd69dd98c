// Renders the component gallery in both looks on the test display, saves the
// screenshots (build folder, tests/ui/gallery-light.png and -dark.png) and
// checks sampled pixels against the palette.
#include "Appearance.h"
#include "AvatarView.h"
#include "IconSet.h"
#include "LogCounter.h"
#include "Palette.h"
#include "TestEnv.h"
#include "UiSetup.h"

#include <QDir>
#include <QPainter>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Largest difference of one channel.
int distance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

QColor blend(QColor over, QColor under, qreal alpha)
{
    return QColor::fromRgbF(over.redF() * alpha + under.redF() * (1 - alpha),
                            over.greenF() * alpha + under.greenF() * (1 - alpha),
                            over.blueF() * alpha + under.blueF() * (1 - alpha));
}
} // namespace

class TestGallery : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QQuickView> m_view;
    std::unique_ptr<LogCounter> m_log;
    QImage m_shot;

    // Items made by a Repeater are not QObject children: walk the item tree.
    static QQuickItem *find(QQuickItem *from, const QString &name)
    {
        if (from->objectName() == name)
            return from;
        for (QQuickItem *child : from->childItems())
            if (QQuickItem *found = find(child, name))
                return found;
        return nullptr;
    }

    QQuickItem *item(const QString &name) const
    {
        QQuickItem *found = find(m_view->rootObject(), name);
        if (!found)
            qWarning() << "no item" << name;
        return found;
    }

    // The screenshot's pixel at a point of `it` given in its own coordinates.
    QColor at(QQuickItem *it, QPointF point) const
    {
        const QPointF p = it->mapToScene(point) * m_view->effectiveDevicePixelRatio();
        return m_shot.pixelColor(int(std::floor(p.x())), int(std::floor(p.y())));
    }

    // Pixels of an icon that stand clearly apart from the background.
    int coverage(QQuickItem *icon, QColor background) const
    {
        int n = 0;
        for (int y = 0; y < icon->height(); ++y)
            for (int x = 0; x < icon->width(); ++x)
                n += distance(at(icon, QPointF(x + 0.5, y + 0.5)), background) > 80;
        return n;
    }

    void render(const QString &look)
    {
        Appearance::setOverride(look);
        // Let bindings settle and a few frames pass, then take the window.
        QTest::qWait(150);
        m_shot = m_view->grabWindow();
        QVERIFY(!m_shot.isNull());
        QDir().mkpath(TestEnv::buildPath(u"tests/ui"_s));
        const QString file = TestEnv::buildPath(u"tests/ui/gallery-%1.png"_s.arg(look));
        QVERIFY(m_shot.save(file));
        qInfo("Saved %s", qPrintable(file));
    }

private Q_SLOTS:
    void initTestCase()
    {
        UiSetup::useDefaultRenderer();
        UiSetup::applyFonts();
        m_log = std::make_unique<LogCounter>();
        m_view = std::make_unique<QQuickView>();
        UiSetup::registerWith(*m_view->engine());
        m_view->setResizeMode(QQuickView::SizeViewToRootObject);
        m_view->setSource(QUrl(u"qrc:/qt/qml/Zimbrel/Ui/Gallery.qml"_s));
        QVERIFY2(m_view->errors().isEmpty(), qPrintable(QDebug::toString(m_view->errors())));
        QVERIFY(m_view->rootObject());
        m_view->setPosition(0, 0);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void galleryDrawsInBothLooks_data()
    {
        QTest::addColumn<QString>("look");
        QTest::newRow("light") << u"light"_s;
        QTest::newRow("dark") << u"dark"_s;
    }

    void galleryDrawsInBothLooks()
    {
        QFETCH(QString, look);
        render(look);
        const bool dark = look == "dark"_L1;
        const QColor canvas = Palette::resolve(Palette::Name::canvas, dark);
        QCOMPARE(m_shot.pixelColor(2, 2), canvas);
        const qreal dpr = m_view->effectiveDevicePixelRatio();

        // Every swatch shows its colour.
        for (int i = 0; i < Palette::count; ++i) {
            const auto name = Palette::Name(i);
            QQuickItem *swatch = item(u"swatch."_s + Palette::nameOf(name));
            QVERIFY(swatch);
            const QColor seen = at(swatch, {swatch->width() / 2, swatch->height() / 2});
            QVERIFY2(distance(seen, Palette::resolve(name, dark)) <= 1,
                     qPrintable(Palette::nameOf(name) + u" seen as "_s + seen.name()));
        }

        // The card: its surface inside, its border at the edge, and the faint
        // shadow below it darker than the canvas.
        QQuickItem *card = item(u"galleryCard"_s);
        QVERIFY(card);
        const QPointF cardAt = card->mapToScene({0, 0});
        QCOMPARE(cardAt * dpr, QPointF((cardAt * dpr).toPoint()));
        QVERIFY(distance(at(card, {card->width() - 12, card->height() - 12}), Palette::resolve(Palette::Name::card, dark)) <= 1);
        QVERIFY(distance(at(card, {card->width() / 2, 0.5}), Palette::resolve(Palette::Name::line, dark)) <= 2);
        const QColor below = at(card, {card->width() / 2, card->height() + 6});
        QVERIFY2(below.lightness() < canvas.lightness() || dark, qPrintable(below.name()));
        QVERIFY(distance(below, canvas) <= 16);

        // Pills: full fill, 85 % while pressed, 45 % disabled, all over the canvas.
        const struct {
            const char *kind;
            Palette::Name fill;
        } kinds[] = {{"Brand", Palette::Name::brand},
                     {"Lime", Palette::Name::lime},
                     {"Quiet", Palette::Name::card},
                     {"Danger", Palette::Name::roseSoft}};
        for (const auto &k : kinds) {
            const QColor fill = Palette::resolve(k.fill, dark);
            const struct {
                const char *state;
                qreal alpha;
            } states[] = {{"enabled", 1.0}, {"pressed", 0.85}, {"disabled", 0.45}};
            for (const auto &s : states) {
                QQuickItem *pill = item(u"pill.%1.%2"_s.arg(QLatin1StringView(k.kind), QLatin1StringView(s.state)));
                QVERIFY(pill);
                const QColor seen = at(pill, {pill->height() / 2 - 6, pill->height() / 2});
                const QColor want = blend(fill, canvas, s.alpha);
                QVERIFY2(distance(seen, want) <= 3, qPrintable(u"%1 %2: %3 not %4"_s.arg(QLatin1StringView(k.kind),
                         QLatin1StringView(s.state), seen.name(), want.name())));
            }
        }
        // The disabled quiet pill still shows its border, faded with it.
        QQuickItem *quiet = item(u"pill.Quiet.disabled"_s);
        const QColor edge = at(quiet, {quiet->width() / 2, 0.5});
        const QColor wantEdge = blend(Palette::resolve(Palette::Name::line, dark), canvas, 0.45);
        QVERIFY2(distance(edge, wantEdge) <= 3, qPrintable(edge.name() + u" not "_s + wantEdge.name()));

        // Icons: drawn in their colour; the solid variant covers more than the
        // line one only where a solid variant exists.
        for (const QString &name : IconSet::interfaceNames()) {
            QQuickItem *line = item(u"icon.line."_s + name);
            QQuickItem *solid = item(u"icon.solid."_s + name);
            QVERIFY(line && solid);
            const int lineCover = coverage(line, canvas);
            const int solidCover = coverage(solid, canvas);
            const QString counts = name + u" %1 %2"_s.arg(lineCover).arg(solidCover);
            QVERIFY2(lineCover > 12, qPrintable(counts));
            QVERIFY2(distance(at(line, {0.5, 0.5}), canvas) <= 1, qPrintable(counts)); // transparent around
            if (IconSet::isSolidCapable(name))
                QVERIFY2(solidCover > lineCover * 1.1, qPrintable(counts));
            else
                QVERIFY2(std::abs(solidCover - lineCover) <= lineCover / 4 + 2, qPrintable(counts));
        }

        // Avatars: the row's background at the top, its figure at the bottom middle.
        for (const QString &name : {u"Ada Lovelace"_s, u"Grace Hopper"_s, u"Zimbrel"_s, u"Ken"_s}) {
            QQuickItem *avatar = item(u"avatar."_s + name);
            QVERIFY(avatar);
            const int row = AvatarView::rowFor(name);
            QVERIFY(distance(at(avatar, {avatar->width() / 2, 3}), AvatarView::background(row)) <= 1);
            QVERIFY(distance(at(avatar, {avatar->width() / 2, avatar->height() - 3}), AvatarView::figure(row)) <= 1);
            // The rounded clip leaves the corner to the canvas.
            QVERIFY(distance(at(avatar, {0.5, 0.5}), canvas) <= 2);
        }

        // Clock digits keep one width whatever the digits.
        QCOMPARE(item(u"clockA"_s)->width(), item(u"clockB"_s)->width());
        QCOMPARE(m_log->warnings(), 0);
    }

    void trayGlyphsReadOnLightAndDarkPanels()
    {
        const int sizes[] = {16, 22, 24, 32};
        const QColor panels[] = {QColor(0xF2F2F2), QColor(0x1E1E1E)};
        QImage sheet(2 * (16 + 22 + 24 + 32 + 5 * 8), 2 * 8 + 2 * 40, QImage::Format_RGB32);
        sheet.fill(Qt::gray);
        QPainter painter(&sheet);
        for (int p = 0; p < 2; ++p) {
            int x = 0;
            for (bool live : {false, true}) {
                for (int size : sizes) {
                    x += 8;
                    const QImage glyph = UiSetup::trayGlyph(live).pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
                    QCOMPARE(glyph.size(), QSize(size, size));
                    int white = 0, lime = 0;
                    for (int y = 0; y < size; ++y) {
                        for (int gx = 0; gx < size; ++gx) {
                            const QColor c = glyph.pixelColor(gx, y);
                            white += c.alpha() == 255 && c.lightness() > 230;
                            lime += c.alpha() > 200 && distance(c, QColor(0xCDF36A)) < 40;
                        }
                    }
                    // The z stands out on the tile at every size; only the live one has its dot.
                    QVERIFY2(white >= size, qPrintable(u"size %1"_s.arg(size)));
                    QCOMPARE(lime > size / 2, live);
                    const QRect cell(x - 4, 8 + p * 40 - 4, size + 8, 40 - 8);
                    painter.fillRect(cell, panels[p]);
                    painter.drawImage(x, 8 + p * 40, glyph);
                    x += size;
                }
            }
        }
        painter.end();
        QVERIFY(sheet.save(TestEnv::buildPath(u"tests/ui/tray-glyphs.png"_s)));

        // The application icon's PNG sizes rendered by the build.
        for (int size : {16, 48, 256}) {
            const QImage png(TestEnv::buildPath(u"src/ui/hicolor/%1x%1/apps/zimbrel.png"_s.arg(size)));
            QCOMPARE(png.size(), QSize(size, size));
            QCOMPARE(png.pixelColor(size / 2, size / 16), QColor(0x0A2A21)); // the tile above the z
            QCOMPARE(png.pixelColor(0, 0).alpha(), 0);                      // the rounded corner
        }
    }

    void cleanupTestCase()
    {
        m_view.reset();
        m_log.reset();
    }
};

QTEST_MAIN(TestGallery)
#include "tst_gallery.moc"
