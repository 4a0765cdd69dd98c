#include "AreaScaler.h"

#include <algorithm>
#include <cstring>

namespace {

using Lanes = AreaScaler::Lanes;
typedef quint8 Bytes16 __attribute__((vector_size(16)));
typedef quint8 Bytes8 __attribute__((vector_size(8)));
typedef quint32 Words2 __attribute__((vector_size(8)));

// For one side: result pixel i covers [i * from, (i + 1) * from) and source
// pixel k covers [k * to, (k + 1) * to), in units of 1/to of a source pixel.
// Calls take(i, k, weight) for each source pixel in i's area, weights out of
// 256 adding up to 256 for each i.
template<typename Take>
void areaWeights(int from, int to, Take take)
{
    std::vector<int> weights;
    for (int i = 0; i < to; ++i) {
        const qint64 begin = qint64(i) * from, end = qint64(i + 1) * from;
        const int first = int(begin / to), last = int((end - 1) / to);
        weights.clear();
        int total = 0;
        for (int k = first; k <= last; ++k) {
            const qint64 overlap = std::min(end, qint64(k + 1) * to) - std::max(begin, qint64(k) * to);
            weights.push_back(int((overlap * 256 + from / 2) / from));
            total += weights.back();
        }
        // Rounding may miss 256 by a little: the largest share takes the rest.
        *std::max_element(weights.begin(), weights.end()) += 256 - total;
        for (int k = first; k <= last; ++k)
            take(i, k, quint16(weights[size_t(k - first)]));
    }
}

// sums[i] += bytes[i] * weight for n bytes, n a multiple of 16. The weights
// of one result row add up to 256, so no sum passes 255 * 256.
void accumulate(quint16 *sums, const quint8 *bytes, int n, quint16 weight)
{
    for (int i = 0; i < n; i += 16) {
        Bytes16 b;
        std::memcpy(&b, bytes + i, sizeof b);
        Lanes low, high;
        std::memcpy(&low, sums + i, sizeof low);
        std::memcpy(&high, sums + i + 8, sizeof high);
        low += __builtin_convertvector(__builtin_shufflevector(b, b, 0, 1, 2, 3, 4, 5, 6, 7), Lanes) * weight;
        high += __builtin_convertvector(__builtin_shufflevector(b, b, 8, 9, 10, 11, 12, 13, 14, 15), Lanes) * weight;
        std::memcpy(sums + i, &low, sizeof low);
        std::memcpy(sums + i + 8, &high, sizeof high);
    }
}

// bytes[i] = sums[i] / 256, rounded, for n a multiple of 8; the sums are cleared.
void toBytes(quint8 *bytes, quint16 *sums, int n)
{
    for (int i = 0; i < n; i += 8) {
        Lanes s;
        std::memcpy(&s, sums + i, sizeof s);
        const Bytes8 b = __builtin_convertvector((s + 128) >> 8, Bytes8);
        std::memcpy(bytes + i, &b, sizeof b);
    }
    std::memset(sums, 0, size_t(n) * sizeof *sums);
}

} // namespace

AreaScaler::AreaScaler(QSize from, QSize to, Sink sink)
    : m_from(from)
    , m_to(to)
    , m_sink(std::move(sink))
{
    m_rowFirst.assign(size_t(to.height()), -1);
    m_rowCount.assign(size_t(to.height()), 0);
    m_rowOffset.assign(size_t(to.height()), 0);
    areaWeights(from.height(), to.height(), [this](int i, int k, quint16 w) {
        if (m_rowFirst[size_t(i)] < 0) {
            m_rowFirst[size_t(i)] = k;
            m_rowOffset[size_t(i)] = int(m_rowWeight.size());
        }
        ++m_rowCount[size_t(i)];
        m_rowWeight.push_back(w);
    });

    // Across, in pairs of pixels: an odd last pixel is paired with one that
    // is made and dropped.
    const int pairs = (to.width() + 1) / 2;
    m_columnFirst.assign(size_t(pairs) * 2, -1);
    std::vector<std::vector<quint16>> columnWeights(size_t(pairs) * 2);
    areaWeights(from.width(), to.width(), [&](int i, int k, quint16 w) {
        if (m_columnFirst[size_t(i)] < 0)
            m_columnFirst[size_t(i)] = k;
        columnWeights[size_t(i)].push_back(w);
        m_taps = std::max(m_taps, int(columnWeights[size_t(i)].size()));
    });
    m_columnFirst.back() = std::max(m_columnFirst.back(), 0);
    m_columnWeight.assign(size_t(pairs) * size_t(m_taps), Lanes{});
    for (int i = 0; i < pairs * 2; ++i) {
        const std::vector<quint16> &weights = columnWeights[size_t(i)];
        for (size_t t = 0; t < weights.size(); ++t) {
            Lanes &lanes = m_columnWeight[size_t(i / 2) * size_t(m_taps) + t];
            for (int c = 0; c < 4; ++c)
                lanes[(i % 2) * 4 + c] = weights[t];
        }
    }

    // The source's width rounded up for whole vectors, and room for the taps
    // a pixel at the right edge does not use.
    const size_t width = size_t(from.width() + 3) / 4 * 4;
    for (std::vector<quint16> &sums : m_sums)
        sums.assign(width * 4, 0);
    m_narrow.assign(width + size_t(m_taps), 0);
    m_out.resize(size_t(pairs) * 2);
}

void AreaScaler::add(const quint32 *row)
{
    if (m_rowsIn >= m_from.height())
        return;
    const int k = m_rowsIn++;
    const auto *bytes = reinterpret_cast<const quint8 *>(row);
    // Whole vectors from the row; the rest through a copy padded with zeros.
    const int n = m_from.width() * 4;
    const int whole = n / 16 * 16;
    alignas(16) quint8 tail[16] = {};
    std::memcpy(tail, bytes + whole, size_t(n - whole));
    // The rows of the result this row lies in: the next unfinished one and
    // perhaps the one after it.
    for (int y = m_nextOut; y < m_to.height() && y <= m_nextOut + 1; ++y) {
        const int first = m_rowFirst[size_t(y)];
        if (k < first)
            break;
        if (k >= first + m_rowCount[size_t(y)])
            continue;
        const quint16 weight = m_rowWeight[size_t(m_rowOffset[size_t(y)] + k - first)];
        quint16 *sums = m_sums[y & 1].data();
        accumulate(sums, bytes, whole, weight);
        if (whole < n)
            accumulate(sums + whole, tail, 16, weight);
    }
    while (m_nextOut < m_to.height() && k == m_rowFirst[size_t(m_nextOut)] + m_rowCount[size_t(m_nextOut)] - 1) {
        finishRow(m_nextOut & 1, m_nextOut);
        ++m_nextOut;
    }
}

void AreaScaler::finishRow(int slot, int y)
{
    std::vector<quint16> &sums = m_sums[slot];
    toBytes(reinterpret_cast<quint8 *>(m_narrow.data()), sums.data(), int(sums.size()));
    // Across, two result pixels at a time: each tap brings one source pixel
    // for each of them into the lanes.
    const quint32 *source = m_narrow.data();
    const Lanes *weights = m_columnWeight.data();
    const int pairs = int(m_out.size()) / 2;
    for (int p = 0; p < pairs; ++p, weights += m_taps) {
        const quint32 *a = source + m_columnFirst[size_t(2 * p)];
        const quint32 *b = source + m_columnFirst[size_t(2 * p + 1)];
        Lanes sum = {128, 128, 128, 128, 128, 128, 128, 128};
        for (int t = 0; t < m_taps; ++t) {
            const Words2 pixels = {a[t], b[t]};
            sum += __builtin_convertvector((Bytes8)pixels, Lanes) * weights[t];
        }
        const Bytes8 out = __builtin_convertvector(sum >> 8, Bytes8);
        std::memcpy(m_out.data() + 2 * p, &out, sizeof out);
    }
    m_sink(m_out.data(), y);
}
