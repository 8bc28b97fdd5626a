// The folder playlist: rez.dat, the folder listing, the folder and sort commands, the list click.
#include "player/Unit1.h"

#include "runtime/Dialogs.h"
#include "player/RezFile.h"
#include "runtime/TextCodec.h"
#include "player/Controls.h"

#include <QFile>
#include <QLabel>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

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

// Lists "folder + *.mp3" and "folder + *.wav" in one pass over the directory:
// the mp3 names first, then the wav names, each group ordered by name.
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

} // namespace

void TForm1::PlayList(const QByteArray &folder)
{
    // A missing, unreadable or non-folder path simply lists nothing.
    ListBox1->SetNames(ListFolder(folder));
    ListBox1->SetItemIndex(ListBox1->Count() == 0 ? -1 : 0);
}

void TForm1::SpeedButton4Click()
{
    listSorted_ = false;
    QString chosen;
    QByteArray folder;
    if (Dialogs().SelectFolder(QStringLiteral("Выберите папку с файлами мультимедиа"), QString(), chosen))
        folder = QFile::encodeName(chosen) + '/';
    // Cancelling forgets the folder: the list then shows the working directory.
    RememberFolder(folder);
}

void TForm1::OpenFolder(const QByteArray &path)
{
    listSorted_ = false;
    RememberFolder(path + '/');
}

// The folder command's steps after its chooser: remember the folder, write rez.dat, list it.
void TForm1::RememberFolder(const QByteArray &folder)
{
    RememberedFolder = CutToChars(folder, kRezMaxChars);
    try {
        WriteRezFile(RememberedFolder, kRezFileName);
    } catch (...) {
        // Only remembering the folder failed: list it all the same, so the list
        // and the paths that Play forms from RememberedFolder keep agreeing.
        PlayList(RememberedFolder);
        throw;
    }
    PlayList(RememberedFolder);
}

void TForm1::N3Click()
{
    SpeedButton4Click();
}

void TForm1::N15Click()
{
    if (listSorted_)
        return;
    listSorted_ = true;
    ListBox1->SortByName();
}

void TForm1::ListBox1Click()
{
    const int i = ListBox1->ItemIndex();
    if (i < 0)
        return;
    Label1->setText(WithVisibleControls(ListBox1->NameText(i)));
    Play();
}
