#include "Palette.h"

#include "Appearance.h"
#include "TrackingLog.h"

#include <QMetaEnum>

namespace {
struct Pair {
    QRgb light;
    QRgb dark;
};

// Light and dark values as 0xRRGGBB, in the order of Palette::Name.
constexpr Pair table[Palette::count] = {
    {0x0A2A21, 0x050D0A}, // shell
    {0x8DB0A2, 0x8DB0A2}, // shellMuted
    {0xF8F8F7, 0x0D0E10}, // canvas
    {0xFFFFFF, 0x17181B}, // card
    {0xE9E9E7, 0x2B2C31}, // line
    {0xEDEDEB, 0x2A2B30}, // track
    {0x101113, 0xF1F1F3}, // ink
    {0x45474D, 0xBDBEC4}, // ink2
    {0x85868C, 0x85878F}, // muted
    {0x0F8F63, 0x2CC48B}, // brand
    {0x0A6B4A, 0x0F7A55}, // brandDeep
    {0xDCF2E7, 0x12372A}, // brandSoft
    {0xCDF36A, 0xCDF36A}, // lime
    {0x1C2A08, 0x1C2A08}, // limeInk
    {0xE9A520, 0xE9A520}, // amber
    {0xFBEFD2, 0x3A2D0F}, // amberSoft
    {0x7D6DF0, 0x7D6DF0}, // violet
    {0xEBE8FD, 0x231F45}, // violetSoft
    {0x2F9BDC, 0x2F9BDC}, // sky
    {0xDEF0FB, 0x10303F}, // skySoft
    {0xE2496A, 0xE2496A}, // rose
    {0xFBE2E8, 0x3B1620}, // roseSoft
};
} // namespace

Palette::Palette(Appearance *appearance, QObject *parent)
    : QObject(parent)
    , m_appearance(appearance ? appearance : Appearance::instance())
{
    connect(m_appearance, &Appearance::darkChanged, this, &Palette::changed);
}

Palette *Palette::instance()
{
    static Palette *shared = new Palette(Appearance::instance(), Appearance::instance());
    return shared;
}

Palette *Palette::create(QQmlEngine *, QJSEngine *)
{
    Palette *shared = instance();
    QJSEngine::setObjectOwnership(shared, QJSEngine::CppOwnership);
    return shared;
}

QColor Palette::resolve(Name name, bool dark)
{
    const int i = int(name);
    if (i < 0 || i >= count)
        return {};
    return QColor::fromRgb(dark ? table[i].dark : table[i].light);
}

bool Palette::isAdaptive(Name name)
{
    const int i = int(name);
    return i >= 0 && i < count && table[i].light != table[i].dark;
}

QString Palette::nameOf(Name name)
{
    return QString::fromLatin1(QMetaEnum::fromType<Name>().valueToKey(int(name)));
}

QColor Palette::byName(const QString &name) const
{
    bool ok = false;
    const int value = QMetaEnum::fromType<Name>().keyToValue(name.toLatin1().constData(), &ok);
    if (!ok) {
        qCWarning(lcTracking) << "Unknown palette colour" << name;
        return {};
    }
    return color(Name(value));
}

bool Palette::isDark() const
{
    return m_appearance->isDark();
}
