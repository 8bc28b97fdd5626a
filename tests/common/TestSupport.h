#pragma once
// Shared helpers of the window tests: a dialog host that never blocks, a
// scratch working directory, and (from TestFiles.h) the files the tests write.
#include "TestFiles.h"
#include "runtime/Dialogs.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Records every box instead of opening it; answers the folder chooser from a queue.
class FakeDialogs : public DialogHost {
public:
    FakeDialogs() { SetDialogs(this); }
    ~FakeDialogs() override { SetDialogs(nullptr); }
    void ShowMessage(const QString &text) override { messages << text; }
    void ShowError(const QString &text) override { errors << text; }
    bool SelectFolder(const QString &caption, const QByteArray &, QByteArray &directory) override
    {
        captions << caption;
        if (folderAnswers.isEmpty())
            return false;
        const QByteArray answer = folderAnswers.takeFirst();
        if (answer.isNull())
            return false;
        directory = answer;
        return true;
    }
    QStringList messages, errors, captions;
    QList<QByteArray> folderAnswers; // a null one answers "cancel"
};

// A fresh working directory for one test; the old one comes back afterwards.
class ScratchDir {
public:
    ScratchDir() : old_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    // Names that are not UTF-8 are beyond QDir, so the folder goes by its bytes.
    ~ScratchDir();
    QString path() const { return dir_.path(); }
    QByteArray pathBytes() const { return QFile::encodeName(dir_.path()); }
    QString file(const QString &name) const { return dir_.filePath(name); }
private:
    QTemporaryDir dir_;
    QString old_;
};
