#pragma once
// Reading the ID3 version 1 trailer: the last 128 bytes of an audio file.
#include <QByteArray>
#include <QString>
#include <array>

inline constexpr int kID3v1GenreCount = 148;

// The published ID3v1 genre list with its Winamp extensions (80 to 147).
extern const std::array<const char *, kID3v1GenreCount> ID3v1GenreNames;

// The display text of a genre byte: its name, or its number beyond the table.
QString ID3v1GenreText(unsigned char genre);

// The six fields as display text; all empty when the file has no tag.
struct ID3v1Fields {
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    QString genre;
};

// Opens the file by its bytes, exclusively and read-only, and reads its trailer.
// Raises EFOpenError when the file can't be opened (missing, a folder, locked).
ID3v1Fields ReadID3v1Fields(const QByteArray &path);

// Writes the tag of the file at path into six targets, in the order title,
// artist, comment, year, genre, album. Anything with setText(QString) will do.
// When the file can't be opened nothing is written and EFOpenError is raised.
template <typename Target>
void ReadID3v1Tag(const QByteArray &path, Target *title, Target *artist, Target *comment, Target *year,
                  Target *genre, Target *album)
{
    const ID3v1Fields f = ReadID3v1Fields(path);
    title->setText(f.title);
    artist->setText(f.artist);
    comment->setText(f.comment);
    year->setText(f.year);
    genre->setText(f.genre);
    album->setText(f.album);
}
