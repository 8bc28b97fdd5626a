#include "app/TextCodec.h"

namespace {

// windows-1251 bytes 0x80..0xFF as Unicode. Kept here rather than asking ICU,
// so nothing heavy is loaded at start-up for a handful of names.
const char16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// Length of the valid UTF-8 sequence starting at p (at most end), or 0 when none starts there.
int Utf8SequenceLength(const unsigned char *p, const unsigned char *end)
{
    const unsigned char c = p[0];
    int len;
    char32_t min;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; min = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; min = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; min = 0x10000; }
    else return 0;
    if (end - p < len)
        return 0;
    char32_t cp = c & (0xFF >> (len + 1));
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

bool IsValidUtf8(const unsigned char *p, const unsigned char *end)
{
    while (p < end) {
        const int len = Utf8SequenceLength(p, end);
        if (len == 0)
            return false;
        p += len;
    }
    return true;
}

} // namespace

QString DisplayText(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    if (IsValidUtf8(p, p + size))
        return QString::fromUtf8(data, size);
    QString text(size, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < size; ++i)
        out[i] = p[i] < 0x80 ? QChar(p[i]) : QChar(kCp1251High[p[i] - 0x80]);
    return text;
}

QString DisplayText(const QByteArray &bytes)
{
    return DisplayText(bytes.constData(), bytes.size());
}

QByteArray CutToChars(const QByteArray &bytes, qsizetype maxChars)
{
    const auto *begin = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto *end = begin + bytes.size();
    const unsigned char *p = begin;
    for (qsizetype n = 0; n < maxChars && p < end; ++n) {
        const int len = Utf8SequenceLength(p, end);
        p += len == 0 ? 1 : len;
    }
    return bytes.left(p - begin);
}

qsizetype CharCount(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto *end = p + bytes.size();
    qsizetype n = 0;
    for (; p < end; ++n) {
        const int len = Utf8SequenceLength(p, end);
        p += len == 0 ? 1 : len;
    }
    return n;
}
