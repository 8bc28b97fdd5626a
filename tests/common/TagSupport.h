#pragma once
// An ID3v1 trailer with the given fields, each cut to its width.
#include <QByteArray>
#include <utility>

inline QByteArray MakeTag(const QByteArray &title, const QByteArray &artist, const QByteArray &album, const QByteArray &year,
                          const QByteArray &comment, int genre, const QByteArray &id = "TAG")
{
    QByteArray tag(128, '\0');
    int at = 0;
    for (const auto &[bytes, width] : {std::pair{id, 3}, {title, 30}, {artist, 30}, {album, 30}, {year, 4}, {comment, 30}}) {
        tag.replace(at, qMin(width, int(bytes.size())), bytes.left(width));
        at += width;
    }
    tag[127] = char(genre);
    return tag;
}
