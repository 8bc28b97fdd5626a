#pragma once
// The names of a folder's listing: how the folder is read into them, how they are
// kept and how they are ordered.
#include <QByteArray>
#include <QString>
#include <vector>

// The names of a listing, compact: every name's bytes (for opening the file)
// and its display text, made once as the name is added, each kept in one
// buffer shared by all names, so 20,000 names cost a few hundred bytes each
// and two allocations in all.
class TNameList {
public:
    qsizetype Count() const { return qsizetype(entries_.size()); }
    void Append(const char *bytes, qsizetype size); // computes the display text
    void Append(const TNameList &other);
    QByteArray Bytes(qsizetype index) const;
    QString Text(qsizetype index) const;
    // Orders the names by display text with letter case ignored; equal texts keep
    // their order, or with bytesBreakTies go by their bytes.
    void SortByName(bool bytesBreakTies);
private:
    struct Entry {
        quint32 bytes, bytesSize, text, textSize;
    };
    QByteArray bytes_;
    QString texts_;
    std::vector<Entry> entries_;
};

// Compares two names by the list's sorted order: letter case ignored.
bool NameLess(const QString &a, const QString &b);

// Lists "folder + *.mp3" and "folder + *.wav", the texts simply joined: the mp3 names
// first, then the wav names, each group ordered by name. A missing, unreadable or
// non-folder path lists nothing.
TNameList ListFolder(const QByteArray &folder);
