#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <array>

// The 64-bit average hash of a picture, gathered while its rows go by: an
// 8 x 8 grey thumbnail of the pixels at the centres of an 8 x 8 grid, its
// integer mean, and bit i set when byte i >= mean (byte 0 top-left), written
// as "%016llx".
class HashThumb {
public:
    explicit HashThumb(QSize picture);

    // Row `y` of the picture, 32-bit RGB; rows the thumbnail does not use
    // are passed over.
    void add(const quint32 *row, int y);
    // Empty for an empty picture.
    QString hash() const;

private:
    std::array<int, 8> m_columns{}, m_rows{};
    QImage m_thumb;
};
