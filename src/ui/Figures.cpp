#include "Figures.h"

#include <QFontMetricsF>
#include <QHash>

#include <cmath>

namespace {

// Several clocks share each font, and every one would shape the same
// characters again: the widths are kept per font and character. Asked from
// the interface's thread only.
qreal cell(const QFont &font, QChar character)
{
    static QHash<QString, qreal> widths;
    const QString key = font.key() + character;
    auto it = widths.constFind(key);
    if (it == widths.cend())
        it = widths.insert(key, std::ceil(QFontMetricsF(font).horizontalAdvance(QString(character))));
    return *it;
}

} // namespace

qreal Figures::digitCell(const QFont &font)
{
    qreal widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        widest = std::max(widest, cell(font, QChar(digit)));
    return widest;
}

qreal Figures::characterCell(const QFont &font, const QString &character)
{
    return character.isEmpty() ? 0 : cell(font, character.front());
}
