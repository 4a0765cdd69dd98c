#pragma once

#include <QSize>

#include <cstdint>
#include <functional>
#include <vector>

// Shrinks a 32-bit RGB picture handed over row by row from the top, each
// row of the result as soon as it is complete. Every pixel of the result is
// the average of the area of the picture it covers, so a line one pixel wide
// stays visible at any size. Holds two rows of sums, never the picture.
class AreaScaler {
public:
    // `row` holds `to.width()` pixels and is only valid during the call.
    using Sink = std::function<void(const quint32 *row, int y)>;

    // `to` no larger than `from` on either side, neither empty.
    AreaScaler(QSize from, QSize to, Sink sink);

    // The next row of the picture, `from.width()` pixels; rows beyond the
    // last are ignored.
    void add(const quint32 *row);

    // Eight 16-bit lanes: the four channels of two pixels.
    typedef quint16 Lanes __attribute__((vector_size(16)));

private:
    void finishRow(int slot, int y);

    QSize m_from, m_to;
    Sink m_sink;
    // Down: result row i is made of `m_rowCount[i]` rows from
    // `m_rowFirst[i]`, weighted by `m_rowWeight[m_rowOffset[i]...]` (out of
    // 256, adding up to 256).
    std::vector<int> m_rowFirst, m_rowCount, m_rowOffset;
    std::vector<quint16> m_rowWeight;
    // Across: every result pixel takes `m_taps` pixels from `m_columnFirst`;
    // the weights of pixels 2p and 2p + 1 for tap t share one vector,
    // m_columnWeight[p * m_taps + t] (zero for taps beyond a pixel's area).
    int m_taps = 1;
    std::vector<int> m_columnFirst;
    std::vector<Lanes> m_columnWeight;
    int m_rowsIn = 0;
    int m_nextOut = 0;
    // The sums for the result rows in progress (each source row adds to at
    // most two), channel by channel at the source's width.
    std::vector<quint16> m_sums[2];
    std::vector<quint32> m_narrow, m_out;
};
