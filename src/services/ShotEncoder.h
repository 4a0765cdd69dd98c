#pragma once

#include "AreaScaler.h"
#include "HashThumb.h"
#include "JpegWriter.h"
#include "ScreenShot.h"

#include <QSize>

#include <optional>

// Turns a screen's picture, handed over row by row from the top, into the
// screenshot to upload: shrunk to the shot's size, encoded and hashed on the
// way, so the picture itself is never held.
class ShotEncoder {
public:
    // `shot` no larger than `picture`; nothing comes of empty sizes.
    ShotEncoder(QSize picture, QSize shot, int quality);

    // The next `count` rows of 32-bit RGB pixels, `stride` bytes apart.
    void add(const uchar *rows, int count, qsizetype stride);
    // Nothing when rows are missing or encoding failed.
    std::optional<ScreenShot> finish();

private:
    void take(const quint32 *row, int y);

    QSize m_picture, m_shot;
    JpegWriter m_jpeg;
    HashThumb m_thumb;
    std::optional<AreaScaler> m_scaler;  // none when the sizes agree
    int m_rowsIn = 0;
    int m_rowsOut = 0;
    bool m_ok;
};
