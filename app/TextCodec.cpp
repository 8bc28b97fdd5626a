#include "app/TextCodec.h"

#include <algorithm>
#include <iterator>

namespace {

// windows-1251 and windows-1252 bytes 0x80..0xFF as Unicode. Kept here rather than
// asking ICU, so nothing heavy is loaded at start-up for a handful of names. The bytes
// that the code pages leave undefined (0x98; 0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1
// control of the same number, as Windows itself converts them, so every byte reads back.
const char16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

const char16_t kCp1252High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

// Bytes 0x80..0xFF that are letters in windows-1251 or in windows-1252, one bit each.
struct HighLetters {
    bool cp1251[128] = {};
    bool cp1252[128] = {};
    constexpr HighLetters()
    {
        for (int b = 0xC0; b <= 0xFF; ++b)
            cp1251[b - 0x80] = cp1252[b - 0x80] = true;
        cp1252[0xD7 - 0x80] = cp1252[0xF7 - 0x80] = false; // × and ÷
        for (int b : {0x80, 0x81, 0x83, 0x8A, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x9A, 0x9C, 0x9D, 0x9E, 0x9F, 0xA1, 0xA2,
                      0xA3, 0xA5, 0xA8, 0xAA, 0xAF, 0xB2, 0xB3, 0xB4, 0xB8, 0xBA, 0xBC, 0xBD, 0xBE, 0xBF})
            cp1251[b - 0x80] = true;
        for (int b : {0x83, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F, 0xAA, 0xB5, 0xBA})
            cp1252[b - 0x80] = true;
    }
};
constexpr HighLetters kHighLetters;

bool IsAsciiLetter(unsigned char c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// Whether text that is not UTF-8 reads as windows-1252 rather than windows-1251. Both put
// letters at 0xC0..0xFF, so the bytes alone cannot tell; words can. A Western word has its
// accented letters among plain Latin ones ("räksmörgås", "Maná"), while a Russian word is
// Cyrillic throughout ("ГРУППА", "Ёлка"); words of one accented letter alone (French "à",
// Russian "в") count only when nothing else decides, as Western among Latin words. Ties go
// to windows-1251, the player's own.
bool ReadsAsWestern(const unsigned char *p, const unsigned char *end)
{
    int western = 0, cyrillic = 0, lone = 0, latinWords = 0;
    while (p < end) {
        int ascii = 0, high = 0;
        for (; p < end; ++p) {
            const unsigned char c = *p;
            if (IsAsciiLetter(c))
                ++ascii;
            else if (c >= 0x80 && (kHighLetters.cp1251[c - 0x80] || kHighLetters.cp1252[c - 0x80]))
                ++high;
            else
                break;
        }
        if (high == 0)
            latinWords += ascii >= 2;
        else if (ascii > 0)
            ++western;
        else if (high >= 2)
            ++cyrillic;
        else
            ++lone;
        if (p < end && ascii + high == 0)
            ++p;
    }
    if (western != cyrillic)
        return western > cyrillic;
    return western == 0 && lone > 0 && latinWords > 0;
}

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
    const char16_t *high = ReadsAsWestern(p, p + size) ? kCp1252High : kCp1251High;
    QString text(size, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < size; ++i)
        out[i] = p[i] < 0x80 ? QChar(p[i]) : QChar(high[p[i] - 0x80]);
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

namespace {

// text in a single-byte code page; false when a character has no byte there.
bool EncodeSingleByte(const QString &text, const char16_t (&high)[128], QByteArray *out)
{
    out->resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            (*out)[i] = char(c);
            continue;
        }
        const char16_t *hit = std::find(std::begin(high), std::end(high), c);
        if (hit == std::end(high))
            return false;
        (*out)[i] = char(0x80 + (hit - high));
    }
    return true;
}

} // namespace

QList<QByteArray> DisplayTextSources(const QString &text)
{
    QList<QByteArray> sources;
    const auto add = [&](const QByteArray &bytes) {
        if (!sources.contains(bytes) && DisplayText(bytes) == text)
            sources.append(bytes);
    };
    add(text.toUtf8());
    QByteArray bytes;
    if (EncodeSingleByte(text, kCp1251High, &bytes))
        add(bytes);
    if (EncodeSingleByte(text, kCp1252High, &bytes))
        add(bytes);
    return sources;
}
