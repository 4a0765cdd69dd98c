#pragma once

#include <QByteArray>
#include <QSize>

#include <memory>

// Encodes a 32-bit RGB picture handed over row by row from the top as a
// baseline JPEG, straight from the rows as they are (no converted copy).
class JpegWriter {
public:
    JpegWriter(QSize size, int quality);
    ~JpegWriter();
    JpegWriter(const JpegWriter &) = delete;
    JpegWriter &operator=(const JpegWriter &) = delete;

    // The next row, `size.width()` pixels. False once encoding failed.
    bool add(const quint32 *row);
    // The file, once every row was added; empty when encoding failed or rows
    // are missing.
    QByteArray finish();

    struct State;

private:
    std::unique_ptr<State> m_state;
};
