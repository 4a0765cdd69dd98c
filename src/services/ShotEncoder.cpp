#include "ShotEncoder.h"

ShotEncoder::ShotEncoder(QSize picture, QSize shot, int quality)
    : m_picture(picture)
    , m_shot(shot)
    , m_jpeg(shot, quality)
    , m_thumb(shot)
    , m_ok(!picture.isEmpty() && !shot.isEmpty() && shot.width() <= picture.width()
           && shot.height() <= picture.height())
{
    if (m_ok && shot != picture)
        m_scaler.emplace(picture, shot, [this](const quint32 *row, int y) { take(row, y); });
}

void ShotEncoder::add(const uchar *rows, int count, qsizetype stride)
{
    for (int i = 0; m_ok && i < count && m_rowsIn < m_picture.height(); ++i, ++m_rowsIn) {
        const auto *row = reinterpret_cast<const quint32 *>(rows + stride * i);
        if (m_scaler)
            m_scaler->add(row);
        else
            take(row, m_rowsIn);
    }
}

void ShotEncoder::take(const quint32 *row, int y)
{
    // The hash describes the picture itself, not its lossy encoding.
    m_thumb.add(row, y);
    m_ok = m_jpeg.add(row);
    ++m_rowsOut;
}

std::optional<ScreenShot> ShotEncoder::finish()
{
    if (!m_ok || m_rowsOut != m_shot.height())
        return std::nullopt;
    ScreenShot shot;
    shot.jpeg = m_jpeg.finish();
    if (shot.jpeg.isEmpty())
        return std::nullopt;
    shot.width = m_shot.width();
    shot.height = m_shot.height();
    shot.hash = m_thumb.hash();
    return shot;
}
