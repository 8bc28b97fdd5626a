#pragma once
// The folder chooser. Folder names on Linux are bytes and need not be UTF-8 (old
// Windows disks carry windows-1251), so the chooser lists, shows and returns
// folders by their bytes; Qt's file dialog drops such names and hands back text.
#include <QByteArray>
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A modal choice of one existing folder, titled by caption, opening at directory
// when that names an existing folder. True with directory set to the chosen
// folder's path (no final "/" but for "/" itself); false on cancel (directory then
// keeps its value, or is empty when it named no existing folder). root, when not
// empty, is the top the user may browse from.
bool SelectFolder(const QString &caption, const QByteArray &root, QByteArray &directory);

// The dialog behind SelectFolder: the caption as its title, a tree of folders
// opened one level at a time, the chosen folder's path, and two buttons. The
// tree's tops are root, or the home folder and the whole file system.
class TFolderChooser : public QDialog {
    Q_OBJECT
public:
    TFolderChooser(const QString &caption, const QByteArray &root, QWidget *parent = nullptr);
    // Opens the tree down to path and selects it; false when no top holds it.
    bool SelectPath(const QByteArray &path);
    // The selected folder's path; empty when none is selected.
    QByteArray SelectedPath() const;
    QTreeWidget *Tree() const { return tree_; }
    // The path, as bytes, that a tree item stands for.
    static QByteArray PathOf(const QTreeWidgetItem *item);

private:
    QTreeWidgetItem *AddTop(const QByteArray &path, const QString &text);
    void Fill(QTreeWidgetItem *item);
    void SelectionChanged();

    QTreeWidget *tree_;
    QLabel *path_;
    QPushButton *choose_;
};
