#include "TestSupport.h"

#include <cstdio>
#include <ftw.h>

ScratchDir::~ScratchDir()
{
    QDir::setCurrent(old_);
    ::nftw(QFile::encodeName(dir_.path()).constData(),
           [](const char *path, const struct stat *, int, struct FTW *) { return ::remove(path); }, 16,
           FTW_DEPTH | FTW_PHYS);
}
