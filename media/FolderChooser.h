#pragma once
#include <QString>

// The folder chooser: a modal choice of one existing folder, titled by caption,
// opening at directory when that names an existing folder. True with directory
// set to the chosen folder's path; false on cancel (directory then keeps its
// value, or is empty when it named no existing folder). root, when not empty,
// is the top the user may browse from.
bool SelectFolder(const QString &caption, const QString &root, QString &directory);
