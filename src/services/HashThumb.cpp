#include "HashThumb.h"

HashThumb::HashThumb(QSize picture)
{
    if (picture.isEmpty())
        return;
    for (int i = 0; i < 8; ++i) {
        m_columns[size_t(i)] = int((qint64(2 * i + 1) * picture.width()) / 16);
        m_rows[size_t(i)] = int((qint64(2 * i + 1) * picture.height()) / 16);
    }
    m_thumb = QImage(8, 8, QImage::Format_RGB32);
    m_thumb.fill(Qt::black);
}

void HashThumb::add(const quint32 *row, int y)
{
    if (m_thumb.isNull())
        return;
    for (int i = 0; i < 8; ++i) {
        if (m_rows[size_t(i)] != y)
            continue;
        auto *line = reinterpret_cast<quint32 *>(m_thumb.scanLine(i));
        for (int x = 0; x < 8; ++x)
            line[x] = row[m_columns[size_t(x)]];
    }
}

QString HashThumb::hash() const
{
    if (m_thumb.isNull())
        return {};
    const QImage grey = m_thumb.convertToFormat(QImage::Format_Grayscale8);
    uchar bytes[64];
    for (int y = 0; y < 8; ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = 0; x < 8; ++x)
            bytes[y * 8 + x] = line[x];
    }
    unsigned sum = 0;
    for (uchar b : bytes)
        sum += b;
    const unsigned mean = sum / 64;
    quint64 value = 0;
    for (int i = 0; i < 64; ++i) {
        if (bytes[i] >= mean)
            value |= quint64(1) << i;
    }
    return QString::asprintf("%016llx", static_cast<unsigned long long>(value));
}
