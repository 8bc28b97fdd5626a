// The names of a folder's listing: read from the directory, kept compact, ordered by name.
#include "player/NameList.h"

#include "runtime/TextCodec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

void TNameList::Append(const char *bytes, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    const qsizetype at = texts_.size();
    // Most names are plain ASCII, which every reading shows byte for byte: widen them
    // straight into the shared buffer, with no text of their own made and freed.
    if (std::all_of(p, p + size, [](unsigned char c) { return c < 0x80; })) {
        texts_.resize(at + size);
        QChar *out = texts_.data() + at;
        for (qsizetype i = 0; i < size; ++i)
            out[i] = QChar(char16_t(p[i]));
    } else {
        texts_.append(DisplayText(bytes, size));
    }
    entries_.push_back({quint32(bytes_.size()), quint32(size), quint32(at), quint32(texts_.size() - at)});
    bytes_.append(bytes, size);
}

void TNameList::Append(const TNameList &other)
{
    const quint32 bytesBase = quint32(bytes_.size()), textBase = quint32(texts_.size());
    entries_.reserve(entries_.size() + other.entries_.size());
    for (Entry e : other.entries_) {
        e.bytes += bytesBase;
        e.text += textBase;
        entries_.push_back(e);
    }
    bytes_.append(other.bytes_);
    texts_.append(other.texts_);
}

QByteArray TNameList::Bytes(qsizetype index) const
{
    const Entry &e = entries_[size_t(index)];
    return QByteArray(bytes_.constData() + e.bytes, e.bytesSize);
}

QString TNameList::Text(qsizetype index) const
{
    const Entry &e = entries_[size_t(index)];
    return QString(texts_.constData() + e.text, e.textSize);
}

namespace {

bool IsAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Compares two texts as their case-folded forms compare. Most names are plain
// ASCII, which folds by an addition; any other text takes the full Unicode folding.
int CompareFolded(QStringView a, QStringView b)
{
    if (!IsAscii(a) || !IsAscii(b))
        return QStringView(a.toString().toCaseFolded()).compare(b.toString().toCaseFolded());
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i)
        if (const int d = int(FoldAscii(a[i].unicode())) - int(FoldAscii(b[i].unicode())))
            return d;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace

void TNameList::SortByName(bool bytesBreakTies)
{
    // The first eight code units of each case-folded text, packed so that comparing
    // the numbers compares the units: most comparisons end there, touching no text.
    // A shorter text pads with zeros and sorts before its extensions, as it should.
    // Folding goes character by character, so an ASCII start folds on its own.
    struct Sorted {
        quint64 head[2];
        quint32 index;
    };
    std::vector<Sorted> order(entries_.size());
    for (quint32 i = 0; i < quint32(order.size()); ++i) {
        const QStringView text = QStringView(texts_).mid(entries_[i].text, entries_[i].textSize);
        const QStringView start = text.left(8);
        QString folded;
        if (!IsAscii(start))
            folded = text.toString().toCaseFolded();
        Sorted &o = order[i];
        o.head[0] = o.head[1] = 0;
        o.index = i;
        for (qsizetype u = 0; u < 8; ++u) {
            const char16_t c = !folded.isNull() ? (u < folded.size() ? folded[u].unicode() : 0)
                                                : (u < start.size() ? FoldAscii(start[u].unicode()) : 0);
            o.head[u / 4] = (o.head[u / 4] << 16) | c;
        }
    }
    const auto text = [&](quint32 i) { return QStringView(texts_).mid(entries_[i].text, entries_[i].textSize); };
    const auto bytes = [&](quint32 i) {
        return QByteArrayView(bytes_.constData() + entries_[i].bytes, entries_[i].bytesSize);
    };
    // Equal heads go to the texts (rarely, and out of the sorting loop's way); the
    // index breaks the last tie, so equal names keep their order.
    const std::function<bool(const Sorted &, const Sorted &)> tie = [&](const Sorted &a, const Sorted &b) {
        if (const int c = CompareFolded(text(a.index), text(b.index)))
            return c < 0;
        if (bytesBreakTies && bytes(a.index) != bytes(b.index))
            return bytes(a.index) < bytes(b.index);
        return a.index < b.index;
    };
    // By the first head, a byte at a time from the lowest (stable, so each pass keeps the
    // order of the ones before): no comparisons at all, and a byte that every name shares,
    // like the zero high byte of ASCII, costs one count. Then each run of equal first heads
    // goes by the second head and the texts. The order is total (the index decides last),
    // so this is exactly the order a comparison sort gives.
    std::vector<Sorted> spare(order.size());
    for (int shift = 0; shift < 64 && !order.empty(); shift += 8) {
        std::array<quint32, 256> at{};
        for (const Sorted &o : order)
            ++at[(o.head[0] >> shift) & 0xFF];
        if (at[(order.front().head[0] >> shift) & 0xFF] == order.size())
            continue;
        quint32 sum = 0;
        for (quint32 &a : at)
            sum += std::exchange(a, sum);
        for (const Sorted &o : order)
            spare[at[(o.head[0] >> shift) & 0xFF]++] = o;
        order.swap(spare);
    }
    for (auto run = order.begin(); run != order.end();) {
        auto end = run + 1;
        while (end != order.end() && end->head[0] == run->head[0])
            ++end;
        if (end - run > 1)
            std::sort(run, end, [&tie](const Sorted &a, const Sorted &b) {
                if (a.head[1] != b.head[1])
                    return a.head[1] < b.head[1];
                return tie(a, b);
            });
        run = end;
    }
    std::vector<Entry> sorted;
    sorted.reserve(order.size());
    for (const Sorted &o : order)
        sorted.push_back(entries_[o.index]);
    entries_.swap(sorted);
}

bool NameLess(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

// ---------------------------------------------------------------- the listing

namespace {

// File-name wildcard matching: '*' any run of bytes, '?' any one byte, ASCII letter case ignored.
bool WildMatch(const char *pat, const char *pe, const char *name, const char *ne)
{
    const char *starPat = nullptr, *starName = nullptr;
    while (name < ne) {
        if (pat < pe && *pat == '*') {
            starPat = ++pat;
            starName = name;
        } else if (pat < pe && (*pat == '?' || FoldAscii(*pat) == FoldAscii(*name))) {
            ++pat;
            ++name;
        } else if (starPat) {
            pat = starPat;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (pat < pe && *pat == '*')
        ++pat;
    return pat == pe;
}

bool EqualFolded(const char *a, const char *b, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

struct Pattern {
    QByteArray name;
    // The listing's patterns are "prefix*.ext". With no other wildcard, a comparison
    // at each end decides, without the general matcher's backtracking at every byte.
    qsizetype star = name.indexOf('*');
    bool plain = star >= 0 && name.indexOf('*', star + 1) < 0 && name.indexOf('?') < 0;

    bool Matches(const char *n, size_t len) const
    {
        if (plain) {
            const qsizetype tail = name.size() - star - 1;
            return qsizetype(len) >= star + tail && EqualFolded(n, name.constData(), star)
                   && EqualFolded(n + len - tail, name.constData() + star + 1, tail);
        }
        return WildMatch(name.constData(), name.constData() + name.size(), n, n + len);
    }
};

} // namespace

// One pass over the directory for both patterns.
TNameList ListFolder(const QByteArray &folder)
{
    QByteArray dir;
    QByteArray prefix;
    const qsizetype slash = folder.lastIndexOf('/');
    if (slash < 0) {
        dir = ".";
        prefix = folder;
    } else {
        dir = slash == 0 ? QByteArray("/") : folder.left(slash);
        prefix = folder.mid(slash + 1);
    }
    const Pattern mp3{prefix + "*.mp3"}, wav{prefix + "*.wav"};

    TNameList mp3s, wavs;
    // The directory's records straight from the kernel, 64 KiB at a time (readdir's
    // buffer is half that, and it copies each record out once more).
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        std::vector<char> buf(std::size_t(64) << 10);
        long got;
        while ((got = ::syscall(SYS_getdents64, fd, buf.data(), buf.size())) > 0) {
            for (long at = 0; at < got;) {
                const auto *e = reinterpret_cast<const dirent64 *>(buf.data() + at);
                at += e->d_reclen;
                const char *n = e->d_name;
                if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                    continue;
                const size_t len = std::strlen(n);
                if (mp3.Matches(n, len))
                    mp3s.Append(n, qsizetype(len));
                else if (wav.Matches(n, len))
                    wavs.Append(n, qsizetype(len));
            }
        }
        ::close(fd);
    }
    // By the sort command's order, then by bytes: the same folder always lists the same way.
    mp3s.SortByName(true);
    wavs.SortByName(true);
    mp3s.Append(wavs);
    return mp3s;
}
