#include "info/JpegImage.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// libjpeg's default error handler exits the process; this one jumps back.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int warnings;
};

void ErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

// Warnings mean corrupt data that libjpeg patched over; count them, print nothing.
void EmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        ++reinterpret_cast<ErrorManager *>(cinfo->err)->warnings;
}

void OutputMessage(j_common_ptr) {}

// Larger than any picture the program carries; guards against a header that
// asks for gigabytes.
constexpr JDIMENSION kMaxSide = 4096;

// Only plain C objects live in this frame, so the long jump skips no destructor;
// the image it fills belongs to the caller.
bool Decode(const unsigned char *data, unsigned long size, QImage *image)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.warnings = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || cinfo.image_width > kMaxSide
        || cinfo.image_height > kMaxSide) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    *image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    if (image->isNull()) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image->scanLine(int(cinfo.output_scanline));
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            break;
    }
    const bool complete = cinfo.output_scanline == cinfo.output_height;
    if (complete)
        jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return complete && err.warnings == 0;
}

} // namespace

QImage DecodeJpeg(const QByteArray &data)
{
    if (data.isEmpty())
        return QImage();
    QImage image;
    if (!Decode(reinterpret_cast<const unsigned char *>(data.constData()), static_cast<unsigned long>(data.size()),
                &image))
        return QImage();
    return image;
}
