// Slow storage for tests and benchmarks: the files of one folder, read-only, through FUSE.
// Every read goes to this process (direct I/O: the page cache never answers for it), takes
// at least its size / RATE seconds (RATE 0: no limit), and is held for as long as the file
// STALL exists, as on a NAS that went to sleep or a share whose server stopped answering.
//
//   slowfs SOURCE MOUNTPOINT RATE [STALL]      (in the foreground; SIGTERM unmounts)
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static const char *g_source, *g_stall;
static double g_rate;

#define FULL(path) \
    char full[PATH_MAX]; \
    snprintf(full, sizeof full, "%s%s", g_source, path)

static int GetAttr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    (void)fi;
    FULL(path);
    return lstat(full, st) == 0 ? 0 : -errno;
}

static int ReadDir(const char *path, void *buf, fuse_fill_dir_t fill, off_t offset, struct fuse_file_info *fi,
                   enum fuse_readdir_flags flags)
{
    (void)offset, (void)fi, (void)flags;
    FULL(path);
    DIR *d = opendir(full);
    if (!d)
        return -errno;
    for (struct dirent *e; (e = readdir(d));)
        fill(buf, e->d_name, NULL, 0, 0);
    closedir(d);
    return 0;
}

static int Open(const char *path, struct fuse_file_info *fi)
{
    FULL(path);
    const int fd = open(full, O_RDONLY);
    fi->fh = (uint64_t)fd;
    fi->direct_io = 1;
    return fd < 0 ? -errno : 0;
}

static int Read(const char *path, char *buf, size_t size, off_t offset, struct fuse_file_info *fi)
{
    (void)path;
    while (g_stall && access(g_stall, F_OK) == 0)
        usleep(10000);
    if (g_rate > 0)
        usleep((useconds_t)((double)size / g_rate * 1e6));
    const ssize_t n = pread((int)fi->fh, buf, size, offset);
    return n < 0 ? -errno : (int)n;
}

static int Release(const char *path, struct fuse_file_info *fi)
{
    (void)path;
    return close((int)fi->fh);
}

int main(int argc, char **argv)
{
    if (argc < 4 || argc > 5) {
        fprintf(stderr, "usage: slowfs SOURCE MOUNTPOINT RATE [STALL]\n");
        return 2;
    }
    g_source = argv[1];
    g_rate = atof(argv[3]);
    g_stall = argc == 5 ? argv[4] : NULL;
    static const struct fuse_operations ops = {
        .getattr = GetAttr, .open = Open, .read = Read, .release = Release, .readdir = ReadDir};
    char *args[] = {argv[0], "-f", "-o", "ro,fsname=slowfs", argv[2], NULL};
    return fuse_main(5, args, &ops, NULL);
}
