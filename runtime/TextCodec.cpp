#include "runtime/TextCodec.h"

#include <QStringDecoder>

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

// Telling windows-1251 from windows-1252. Both put letters at 0xC0..0xFF, so the bytes
// alone can't tell; letters in context can. Each reading is scored by how likely its letter
// pairs are in its languages: Russian (and Ukrainian) for windows-1251, the Western languages
// for windows-1252. Only pairs with a byte above 0x7F are scored that way; pairs of plain
// ASCII read alike in both, and are weighed apart as English (the Latin beside Russian
// titles) against the Western languages. A file's extension says nothing of the language.
// Ties and near-ties go to windows-1251, the player's own. The tables were counted from the
// message catalogues of a Debian system by scripts/codepage_model.py, which says how.

// Letter classes, one character each ('#' is 0): a byte's class in each reading (bytes
// 0x80..0xFF), then costs -4 ln p(class | class before) row by row, then for two ASCII
// classes (0..25 the letters, 26 anything else) the Western cost minus the English one, plus 28.
const char kRuClass[] =
    "DDGDGGGGFGDGDDDDDGGGGGGGFGDGDDDDG66DG&GG(G(GGGGCGGCC&EGG(F(GDDDC#$%&'()*+,-./0123456789:;<=>?@AB"
    "#$%&'()*+,-./0123456789:;<=>?@AB";

const char kWeClass[] =
    "HHIFIIIIHICIEHDHHIIIIIIIHICIEHDBIHHHIHIIHIFIIIIHIIHHHFIIHHFIHHHH$%&'()*+,-./0123456789:H;<=>?@A#"
    "$%&'()*+,-./0123456789:H;<=>?@AB";

const char kRuPairs[] =
    "B205215/?/1.0+C1/1,:=7319:ZZZN62CZRZ*,?AE:.I>0O.+:1+D,6?,G54AK11-DFK94ZZZ2*D7A6,=?-X1/70+83361Z7"
    "GC<=Z-?PM;2ZZZ*-=;53/RR-M@14/'F+<=-HAE>KZZDHEGI4ZZZ.)=5=3*5=.Z3,;/+42480I<?=<ZZ6>HC;5ZKZ/<823074"
    "5830//*65+/,?><7786ZZZI@@EZZZ)-6HI-'IZ)Z46=*8CH=C2ZLM>EZZZBGZH9ZZZ5(6/=.5BA2P68-,+95:?/GR>@<ZN1?"
    "ZH29ZZZ.63154.=01001-/840--G44436=ZZZZ4.SZZZ*E@;D2;SBAZ5*847?" "?/.IEK@;=ZZGZZFALZHZ%(A;JH1<C,P@.C5"
    ")E00//IB1MB;ZKF<HN6ZZZ--6E=D+3H+Z49B2+HS:B2CIO6UGZ5*J0,4ZWZ.+70GD(VN.Z7933+4H;D1III@JZZ0GGI02ZNZ"
    "*+I?92*I;*Z6HH-+MJ4037@;=?ZZ-8S;15ZNZ0B/,0.21181/,/180../B@;834>ZZZC<9<ZZZ+,JGZN,ZL.Z84I8(6(;9/L"
    "E:CHZZ7?OE;4ZZZ2)@45<*2C,S7>31*<743/?5@C6HZ2>K@56ZNZ/287?</;U-Z..65-.82(1B7=:8ZB50GC-8ZMZ/,?0NA-"
    "MA,Y2:<1+<,/A2AFK:LOZ4+GC>8ZYZ,7504,-14A5.1/1B/0-.E7<C291ZZZ@/?CZZZ*&ZI@P1ZZ+DH1<?*I0>4.4IZPZZZ@"
    "?IPF1ZZZ92A5JF0ZZ.ZG?<4)H/8>6@@ZPGZZHC<MH1ZZZ%-E3DI*ZC&Z5HZE48Z>A3ZEDLZZZ/3Z85-ZMZ/*ZJZJ'@Z)Z1:D"
    ",6FBA.7ZEEB>ZZZ:ZZO5ZZZ1-G7OZ)ZZ'Z-3A/2F3842OOLEOZZH8ZZD6ZZZ1-ZZZZ%ZZ)ZZZZ>.ZZZN4ZZZZZZZZ2ZZZ@ZZ"
    "Z;ZZZZZ#ZZZZZZZZZZZZZZZZZZZZZZZZZ.ZZZZZZ3-<5,>5Z*40/AZ127.ZZ,J55AZZZMZCZZZZ)T?BAB;Z+DG/Q;,6FJ03Z"
    "CM9D3HZZZZ5:FZZZ%Z?;8<ZZAA9,(44Z765&A3>DZ/ZZZZZZZZZZZ9D63A:68?FA?A>9GA8;,ZHMG(O*ZZZF8OJZZZ'KC2?3"
    "0D4Z@4>43F@8:0FJ78<L9ZZUH57RZZZ$35,5+782Z1/.2.8;1.2@?8:44:ZZZZ521ZQZ)ZZZZZZZZZZZZZZZZZZZZZZZZZZZ"
    "ZZZZZZZZZZZQWWSTTZPZOOOJYTTKRZOWZRZZZRZZZZWZ$Z)ZZZZZZZZZZ9ZZZZZ9ZZZZZZZZZZZZZZZZZZ6#32-7/7=0/C/7"
    "2-/,1-112;95:>ZFZ6C8:Z*GZ";

const char kWePairs[] =
    "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ$Z+ZZZZZZZZZDZZZZZZZZZZZZZZZZZZZZZZZZZZ)Z$ZE?ZZZZZZZFZZZIZZ>"
    "JZZZZZZZZZZZDZZZZH$Z)ZZZ?ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ#Z6ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ"
    "#J6>ZZZZ.ZZZZZZZZZZZZZZZZZIZZZZZZZZZZZZ$Z+ZZZZZH@ZZZZZZZZZZZZZZZZZJZZZZZZZZZZZ%Z&ZZZZZZZZZZZZZZZ"
    "ZZ4ZZZZZZDZZZZZZZZZZZ#Z;ZE@J%ZZZZZZZDZZZZZZ@ZZ+ZZZZZZZZZZZZC(Z4ZZZZZZZZZDZZZDZZZZZZZZZZZZZZZZZZZ"
    "ZZZ%Z'ZZZZZZZZZZ7ZZZZZHZZZZZZZZZZZZKZZZZZZ$Z)ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ#Z.ZZZZZZZZZZZZ"
    "ZZZZZZZZZZZZZZZZZZZZZZZZ%Z'ZZZZZZZZZZZZZZZZZZZ2ZZZZZZZZZZZZZZZZ&Z&ZZAZZZZZ=ZIZZZZZZ8ZZ=ZZZZZHZZZ"
    "HZZDZA#Z.ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ8#Z0ZZZZZZZZZZ?ZZZZZZZZZZZZZZZZZZZZZZZZZ#Z/ZZZZZZZZZ"
    "ZZZZZZZZBZZZZZ@ZZZZZZBZZZZZ&Z&ZZAZZZZZZZZZZZAZZZZZAZZZZZZZZZZZZZZ@#ZAZZZZZZZZZZZZZZZZZZZZZZZZZ=Z"
    "ZZZZZZZZZ&Z%ZZZZZZZZZZZZZZJZZ9ZZ>ZZZZZZZZZ?ZZZZZ$Z(ZZZZZZZZZZZZZZZZZZZZZ:ZZZZZZZZZZZZZZ#Z5ZZZZZZ"
    "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ#Z@2ZZZZ;ZZZZZZZZZZZ;ZZZZZ9ZZZZZZZZZZZZ#Z1ZZZZZZEZZZZZZZZZZZZZZZZZ"
    "ZZZZZZZZZZZZ#Z:ZZZZZZZZZZZZZZZZZZZZZZZZZ4ZZZZZZZZZZ6Z#ZZZZZZZZZZZZZZ@ZZCZZZZZEZZ?ZZZZZZZZZ#Z/ZZZ"
    "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ$Z)JZZZZZZZZ:ZHZZIZZZZZZZZZZZZZZZZZZZZD#Z8ZZZZZZZZZZZZZZZZZ&ZZZ"
    "ZZZZZ9ZZZZZZZZZ&Z.ZZ/ZZZZ8ZZ;ZZZ1ZZZZZ;ZZ5ZZ.ZZ+ZZZZZZ%Z2ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ#"
    "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ;ZZ.#Z/ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ3#Z,ZZZZZZZZZZZZZZZZZZ"
    "ZZZZZZZZZZZZZZZZZZ#ZZZ<;ZZZZZZZZZZZ6ZZZZZ;ZZZZZZZZZZZZ9Z1%Z(IC>J@9=A?B:DKS?JJEGG=GL=?KBS>KSZNQUG"
    "$Z*ZZZZZZZZZZ?ZZZ<ZZZZZZZZZZZZZZZZZZZZZ&3%Z<BOZ;=FR=9?ZZ@MZZTVFZZ@DZBZ@VGZKMZF#CZ";

const char kAsciiPairs[] =
    "R;;@AC<A;DE>=>F>M@>;AC::5JF?E?" "?" "?@JDD>6<<A?<#F=F=>A=8C@>BAA>@@CFC;>@A?" "?7==:?" "?A:3#?D<:8EE?@@=E=AAD"
    "?[A;CCF=>4A66E95?<BMMJND?D=<6A@AP>49/N>=Z@CF?ML@RUBBL=?<>@?ATJ@5[>C@>DAAA9?SEB?=A>=@CDAH==J@;@EE"
    "M;FID>YTWAO?@BGAKC[B?@M=@BA>D<AIJPN>A<<<K@>=IB>>>;K>;8O=QP79AJ[6O@;QD;H;I>?:ZDA<<5=979;X[M:7J7VE"
    ">IAF88GX:BCA9=?KS>ONAGL==P2C@<B9?3?B?==B?CHC@DC?@;=@=G?G:CB<CIB?G<?A?;ICI>8<@;7I;>@?<D=<NA:A=A?1"
    "BNFJD@B>>?N=H69<0>CJD@BC:=P>:@S@=DHC><?" "?9>B?;9[@:?;89?6?9?" "?8<;789=8=@><?:[:AC<C<@>M@QAA?==@Y<?@A"
    "@DE2VABFDH=GH7?[GDABB>AC?@>H8?=H>CK8?AGE+?OF=AG=9GB>HDL9L<S>B<>CBDCDCHL:=@G9A@;=GSJDAED<F<@<=>L?"
    "?N?=NI:?IEDMP::GPHBGCGHEH,=JH=F3AF?5=ET[GFEF;AD<CBFB<>@DEADK9<AC?==@?ADAF8PUAPK[>OZJDE4A?HAIFM5F"
    "S<8C9K?9697HD:><;;>I75YS9OV7I@>=<DD=B?=CEC?@=AD?" "?:?E7@=E?";

struct Reading {
    const char *classOf; // of bytes 0x80..0xFF
    const char *pairs;
    int latin;    // ASCII letters; the classes below it are the reading's own letters
    int boundary; // no letter; the class between them is any other symbol
    // Given that a text has such letters at all, the first one costs this much less: a
    // Western text with accented letters is not rare because most Western texts have none.
    int firstLetterBonus;
};
constexpr Reading kRussian{kRuClass, kRuPairs, 34, 36, 1};
constexpr Reading kWestern{kWeClass, kWePairs, 36, 38, 11};
constexpr int kAsciiNone = 26;
constexpr int kWesternFrom = 2; // the lead Western needs: below it is a near-tie

bool IsAsciiLetter(unsigned char c)
{
    return FoldAscii(c) >= 'a' && FoldAscii(c) <= 'z';
}

int ClassOf(const Reading &r, unsigned char b)
{
    if (b >= 0x80)
        return r.classOf[b - 0x80] - '#';
    return IsAsciiLetter(b) ? r.latin : r.boundary;
}

// -4 ln of the reading's likelihood, from the pairs that hold a byte above 0x7F.
int ReadingCost(const Reading &r, const unsigned char *p, const unsigned char *end)
{
    const int classes = r.boundary + 1;
    int cost = 0, prev = r.boundary;
    bool prevHigh = false, first = true;
    for (const unsigned char *q = p; q <= end; ++q) {
        const bool high = q < end && *q >= 0x80;
        const int c = q < end ? ClassOf(r, *q) : r.boundary;
        if (c == r.boundary && prev == r.boundary)
            continue; // a run of spaces and signs is one boundary
        if (high || prevHigh) {
            cost += r.pairs[prev * classes + c] - '#';
            if (first && c < r.latin) {
                cost -= r.firstLetterBonus;
                first = false;
            }
        }
        prev = c;
        prevHigh = high;
    }
    return cost;
}

// How much more Western than English the plain ASCII pairs read (4 ln of the odds).
int AsciiLead(const unsigned char *p, const unsigned char *end)
{
    int lead = 0, prev = kAsciiNone;
    for (const unsigned char *q = p; q <= end; ++q) {
        if (q < end && *q >= 0x80) {
            prev = -1;
            continue;
        }
        const int c = q < end && IsAsciiLetter(*q) ? FoldAscii(*q) - 'a' : kAsciiNone;
        if (prev >= 0 && !(prev == kAsciiNone && c == kAsciiNone))
            lead += kAsciiPairs[prev * (kAsciiNone + 1) + c] - '#' - 28;
        prev = c;
    }
    return lead;
}

// Where the name's extension (a final "." and one to four ASCII letters or digits) starts, or end.
const unsigned char *ExtensionStart(const unsigned char *p, const unsigned char *end)
{
    const unsigned char *dot = end;
    while (dot > p && dot[-1] != '.')
        --dot;
    if (dot == p || end - dot < 1 || end - dot > 4)
        return end;
    for (const unsigned char *q = dot; q < end; ++q)
        if (!(IsAsciiLetter(*q) || (*q >= '0' && *q <= '9')))
            return end;
    return dot - 1;
}

// Whether text that is not UTF-8 reads as windows-1252 rather than windows-1251.
bool ReadsAsWestern(const unsigned char *p, const unsigned char *end)
{
    const unsigned char *stem = ExtensionStart(p, end);
    int letters = 0;
    for (const unsigned char *q = p; q < stem && letters < 2; ++q)
        letters += ClassOf(kRussian, *q) <= kRussian.latin || ClassOf(kWestern, *q) <= kWestern.latin;
    if (letters < 2)
        return false; // one letter alone has no context to go by
    // Plain words count only for Western: English stands beside Russian and Western titles
    // alike, so words that read as English say nothing against an accented Latin letter.
    const int lead = ReadingCost(kRussian, p, end) - ReadingCost(kWestern, p, end) + std::max(0, AsciiLead(p, stem));
    return lead >= kWesternFrom;
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

// Whether p..end is the start of a UTF-8 sequence that the end cut short: a lead byte and
// fewer continuation bytes than it asks for, each allowed where it stands.
bool IsCutSequence(const unsigned char *p, const unsigned char *end)
{
    const unsigned char c = p[0];
    const int len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || end - p >= len)
        return false;
    for (const unsigned char *q = p + 1; q < end; ++q)
        if ((*q & 0xC0) != 0x80)
            return false;
    if (end - p < 2)
        return true;
    // The second byte is what rules out overlong forms, surrogates and beyond U+10FFFF.
    const unsigned char d = p[1];
    return !((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F));
}

// Where a text that is UTF-8 but for a sequence cut at its end (a tag field cut at its
// width in the middle of a letter) stops being UTF-8; end when it is not such a text. Only a
// text with a letter beyond ASCII before the cut counts: one byte after plain ASCII is as
// likely a single-byte letter ("Caf\xE9").
const unsigned char *CutUtf8Tail(const unsigned char *p, const unsigned char *end)
{
    bool wide = false;
    while (p < end) {
        const int len = Utf8SequenceLength(p, end);
        if (len == 0)
            return wide && IsCutSequence(p, end) ? p : end;
        wide = wide || len > 1;
        p += len;
    }
    return end;
}

// A cut byte shows as the Braille pattern whose eight dots are its eight bits: visible, one
// symbol a byte, and telling the byte back.
constexpr char16_t kCutByteBase = 0x2800;

QString Utf8Text(const char *data, qsizetype size)
{
    // fromUtf8 drops a leading byte-order mark, and the text would then stand for
    // the name without it; the decoder that keeps it is made only where one is.
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    if (size >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(QByteArrayView(data, size));
    return QString::fromUtf8(data, size);
}

} // namespace

QString DisplayText(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    if (const unsigned char *cut = CutUtf8Tail(p, p + size); cut != p + size) {
        QString text = Utf8Text(data, cut - p);
        for (const unsigned char *q = cut; q < p + size; ++q)
            text += QChar(char16_t(kCutByteBase + *q));
        return text;
    }
    if (IsValidUtf8(p, p + size))
        return Utf8Text(data, size);
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

QString WithVisibleControls(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar(c.unicode() == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + c.unicode()));
    return text;
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
    // UTF-8 with cut bytes after it: the bytes come back from their symbols.
    qsizetype tail = text.size();
    while (tail > 0 && text[tail - 1].unicode() >= kCutByteBase + 0x80 && text[tail - 1].unicode() <= kCutByteBase + 0xFF)
        --tail;
    if (tail < text.size() && tail >= text.size() - 3) {
        QByteArray cut = text.left(tail).toUtf8();
        for (qsizetype i = tail; i < text.size(); ++i)
            cut += char(text[i].unicode() - kCutByteBase);
        add(cut);
    }
    QByteArray bytes;
    if (EncodeSingleByte(text, kCp1251High, &bytes))
        add(bytes);
    if (EncodeSingleByte(text, kCp1252High, &bytes))
        add(bytes);
    return sources;
}
