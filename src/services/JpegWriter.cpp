#include "JpegWriter.h"

#include <QSysInfo>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// libjpeg reports errors by calling error_exit, which must not return: it
// jumps back to the call that failed. Only plain C data lives in the frames
// it jumps over.
struct JpegWriter::State {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_destination_mgr destination{};
    std::jmp_buf failed;
    QByteArray bytes;
    int rows = 0;
    bool ok = false;
};

namespace {

constexpr qsizetype chunk = 64 * 1024;

JpegWriter::State *stateOf(j_common_ptr info)
{
    return static_cast<JpegWriter::State *>(info->client_data);
}

void errorExit(j_common_ptr info)
{
    std::longjmp(stateOf(info)->failed, 1);
}

void silent(j_common_ptr, int) {}

// The file grows in a QByteArray: the encoder writes into its unused tail.
void initDestination(j_compress_ptr info)
{
    JpegWriter::State *s = stateOf(reinterpret_cast<j_common_ptr>(info));
    s->bytes.resize(chunk);
    s->destination.next_output_byte = reinterpret_cast<JOCTET *>(s->bytes.data());
    s->destination.free_in_buffer = size_t(chunk);
}

boolean grow(j_compress_ptr info)
{
    JpegWriter::State *s = stateOf(reinterpret_cast<j_common_ptr>(info));
    const qsizetype used = s->bytes.size();
    s->bytes.resize(used + std::max(chunk, used / 2));
    s->destination.next_output_byte = reinterpret_cast<JOCTET *>(s->bytes.data() + used);
    s->destination.free_in_buffer = size_t(s->bytes.size() - used);
    return TRUE;
}

void termDestination(j_compress_ptr info)
{
    JpegWriter::State *s = stateOf(reinterpret_cast<j_common_ptr>(info));
    s->bytes.resize(s->bytes.size() - qsizetype(s->destination.free_in_buffer));
}

bool start(JpegWriter::State *s, QSize size, int quality)
{
    if (setjmp(s->failed))
        return false;
    jpeg_create_compress(&s->info);
    s->info.dest = &s->destination;
    s->info.image_width = JDIMENSION(size.width());
    s->info.image_height = JDIMENSION(size.height());
    // A 32-bit RGB pixel is 0xffRRGGBB in the machine's byte order.
    s->info.input_components = 4;
    s->info.in_color_space = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&s->info);
    jpeg_set_quality(&s->info, quality, TRUE);
    // 72 dots per inch, as pictures are usually written.
    s->info.density_unit = 1;
    s->info.X_density = 72;
    s->info.Y_density = 72;
    jpeg_start_compress(&s->info, TRUE);
    return true;
}

bool writeRow(JpegWriter::State *s, const quint32 *row)
{
    if (setjmp(s->failed))
        return false;
    JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(const_cast<quint32 *>(row))};
    jpeg_write_scanlines(&s->info, rows, 1);
    return true;
}

bool end(JpegWriter::State *s)
{
    if (setjmp(s->failed))
        return false;
    jpeg_finish_compress(&s->info);
    return true;
}

} // namespace

JpegWriter::JpegWriter(QSize size, int quality)
    : m_state(std::make_unique<State>())
{
    State *s = m_state.get();
    s->info.err = jpeg_std_error(&s->errors);
    s->errors.error_exit = errorExit;
    s->errors.emit_message = silent;
    s->info.client_data = s;
    s->destination.init_destination = initDestination;
    s->destination.empty_output_buffer = grow;
    s->destination.term_destination = termDestination;
    s->ok = !size.isEmpty() && start(s, size, quality);
}

JpegWriter::~JpegWriter()
{
    jpeg_destroy_compress(&m_state->info);
}

bool JpegWriter::add(const quint32 *row)
{
    State *s = m_state.get();
    if (!s->ok || s->rows >= int(s->info.image_height))
        return false;
    s->ok = writeRow(s, row);
    ++s->rows;
    return s->ok;
}

QByteArray JpegWriter::finish()
{
    State *s = m_state.get();
    if (!s->ok || s->rows != int(s->info.image_height) || !end(s))
        return {};
    s->ok = false;
    return std::move(s->bytes);
}
