#include "runtime/FolderChooser.h"

#include "runtime/Desktop.h"
#include "runtime/TextCodec.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

bool IsFolder(const QByteArray &path)
{
    struct stat st;
    return !path.isEmpty() && !path.contains('\0') && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray Join(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The path without repeated or final separators ("/" stays "/").
QByteArray Tidy(QByteArray path)
{
    while (path.contains("//"))
        path.replace("//", "/");
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

QByteArray HomeFolder()
{
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty() || !home.startsWith('/'))
        if (const passwd *pw = ::getpwuid(::getuid()))
            home = pw->pw_dir;
    return Tidy(home);
}

QString Shown(const QByteArray &bytes)
{
    return WithVisibleControls(DisplayText(bytes));
}

struct Folder {
    QByteArray name;
    QString text;
};

// The folders in folder, hidden ones left out, by name with letter case ignored.
std::vector<Folder> SubFolders(const QByteArray &folder)
{
    std::vector<Folder> found;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return found;
    const int fd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st;
        // Links to folders are folders to the user too.
        if (::fstatat(fd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
            const QByteArray name(e->d_name);
            found.push_back({name, Shown(name)});
        }
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const Folder &a, const Folder &b) {
        if (const int c = a.text.compare(b.text, Qt::CaseInsensitive))
            return c < 0;
        return a.name < b.name;
    });
    return found;
}

QTreeWidgetItem *NewItem(const QByteArray &path, const QString &text)
{
    auto *item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kPathRole, path);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

} // namespace

TFolderChooser::TFolderChooser(const QString &caption, const QByteArray &root, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SelectFolderDialog"));
    setWindowTitle(caption);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("FolderTree"));
    tree_->setAccessibleName(QStringLiteral("Папки"));
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setUniformRowHeights(true);
    path_ = new QLabel(this);
    path_->setObjectName(QStringLiteral("FolderPath"));
    path_->setTextFormat(Qt::PlainText);
    path_->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(this);
    choose_ = buttons->addButton(QStringLiteral("Выбрать"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    choose_->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tree_);
    layout->addWidget(path_);
    layout->addWidget(buttons);
    resize(440, 440);
    connect(tree_, &QTreeWidget::itemExpanded, this, &TFolderChooser::Fill);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &TFolderChooser::SelectionChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (!root.isEmpty()) {
        AddTop(Tidy(root), Shown(Tidy(root)))->setExpanded(true);
    } else {
        const QByteArray home = HomeFolder();
        if (IsFolder(home) && home != "/")
            AddTop(home, QStringLiteral("Домашняя папка"));
        AddTop("/", QStringLiteral("Файловая система"));
    }
    if (tree_->topLevelItemCount() > 0)
        tree_->setCurrentItem(tree_->topLevelItem(0));
    SelectionChanged();
}

QTreeWidgetItem *TFolderChooser::AddTop(const QByteArray &path, const QString &text)
{
    QTreeWidgetItem *item = NewItem(path, text);
    item->setToolTip(0, Shown(path));
    tree_->addTopLevelItem(item);
    return item;
}

QByteArray TFolderChooser::PathOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, kPathRole).toByteArray() : QByteArray();
}

// A folder's sub-folders come when it is first opened: a whole disk is never read ahead.
void TFolderChooser::Fill(QTreeWidgetItem *item)
{
    if (item->data(0, kFilledRole).toBool())
        return;
    item->setData(0, kFilledRole, true);
    const QByteArray path = PathOf(item);
    QList<QTreeWidgetItem *> children;
    for (const Folder &f : SubFolders(path))
        children << NewItem(Join(path, f.name), f.text);
    item->addChildren(children);
    if (children.isEmpty())
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

bool TFolderChooser::SelectPath(const QByteArray &wanted)
{
    const QByteArray path = Tidy(wanted);
    // The top that holds the path most closely.
    QTreeWidgetItem *item = nullptr;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = tree_->topLevelItem(i);
        const QByteArray at = PathOf(top);
        if ((path == at || path.startsWith(at == "/" ? at : at + '/'))
            && (!item || PathOf(item).size() < at.size()))
            item = top;
    }
    if (!item || !IsFolder(path))
        return false;
    QByteArray at = PathOf(item);
    const QList<QByteArray> rest = path.mid(at.size()).split('/');
    for (const QByteArray &name : rest) {
        if (name.isEmpty())
            continue;
        Fill(item);
        at = Join(at, name);
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (PathOf(item->child(i)) == at)
                next = item->child(i);
        if (!next) {
            // A hidden folder is listed once it is where the chooser opens.
            next = NewItem(at, Shown(name));
            item->addChild(next);
        }
        item->setExpanded(true);
        item = next;
    }
    // Open, so its own folders show.
    item->setExpanded(true);
    tree_->setCurrentItem(item);
    tree_->scrollToItem(item);
    return true;
}

QByteArray TFolderChooser::SelectedPath() const
{
    const QList<QTreeWidgetItem *> selected = tree_->selectedItems();
    return selected.isEmpty() ? QByteArray() : PathOf(selected.first());
}

void TFolderChooser::SelectionChanged()
{
    const QByteArray path = SelectedPath();
    path_->setText(QStringLiteral("Папка: ") + (path.isEmpty() ? QStringLiteral("не выбрана") : Shown(path)));
    choose_->setEnabled(!path.isEmpty());
}

bool SelectFolder(const QString &caption, const QByteArray &root, QByteArray &directory)
{
    // Only an existing folder is preselected; anything else is forgotten.
    if (!IsFolder(directory))
        directory.clear();

    TFolderChooser dialog(caption, root, QApplication::activeWindow());
    FrameAsDialog(&dialog);
    if (!directory.isEmpty())
        dialog.SelectPath(directory);
    else if (root.isEmpty())
        dialog.SelectPath(HomeFolder());

    if (dialog.exec() != QDialog::Accepted)
        return false;
    // A folder gone while the dialog was open is no folder chosen.
    const QByteArray chosen = dialog.SelectedPath();
    if (!IsFolder(chosen))
        return false;
    directory = chosen;
    return true;
}
