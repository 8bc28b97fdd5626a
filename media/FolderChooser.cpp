#include "media/FolderChooser.h"

#include "runtime/Desktop.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

bool SelectFolder(const QString &caption, const QString &root, QString &directory)
{
    // Only an existing folder is preselected; anything else is forgotten.
    if (directory.isEmpty() || !QFileInfo(directory).isDir())
        directory.clear();

    // Qt's own dialog, so it behaves the same on every desktop and in tests.
    QFileDialog dialog(QApplication::activeWindow(), caption);
    dialog.setObjectName(QStringLiteral("SelectFolderDialog"));
    FrameAsDialog(&dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!root.isEmpty()) {
        // Keep the user below the root: history and sidebar start there.
        dialog.setDirectory(root);
        dialog.setSidebarUrls({QUrl::fromLocalFile(root)});
    }
    if (!directory.isEmpty())
        dialog.setDirectory(directory);
    else if (root.isEmpty())
        dialog.setDirectory(QDir::homePath());

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || !QFileInfo(chosen.first()).isDir())
        return false;
    directory = QDir::cleanPath(chosen.first());
    return true;
}
