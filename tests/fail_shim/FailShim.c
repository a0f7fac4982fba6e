/* Preloaded into `vellora` by tests to make a disk fail as real ones do:
 * VELLORA_TEST_FSYNC_FAILS makes every fsync fail with EIO (a disk that
 * loses a write), VELLORA_TEST_NO_FALLOCATE makes fallocate fail with
 * EOPNOTSUPP (a file system that cannot reserve room, as NFS before 4.2). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

typedef int (*FsyncFn)(int);
typedef int (*FallocateFn)(int, int, off_t, off_t);

static int Asked(const char* name) {
    const char* value = getenv(name);
    return value != NULL && value[0] != '\0';
}

int fsync(int fd) {
    if (Asked("VELLORA_TEST_FSYNC_FAILS")) {
        errno = EIO;
        return -1;
    }
    FsyncFn next = (FsyncFn)dlsym(RTLD_NEXT, "fsync");
    return next(fd);
}

int fdatasync(int fd) {
    if (Asked("VELLORA_TEST_FSYNC_FAILS")) {
        errno = EIO;
        return -1;
    }
    FsyncFn next = (FsyncFn)dlsym(RTLD_NEXT, "fdatasync");
    return next(fd);
}

static int Allocate(const char* symbol, int fd, int mode, off_t offset, off_t length) {
    if (Asked("VELLORA_TEST_NO_FALLOCATE")) {
        errno = EOPNOTSUPP;
        return -1;
    }
    FallocateFn next = (FallocateFn)dlsym(RTLD_NEXT, symbol);
    return next(fd, mode, offset, length);
}

int fallocate(int fd, int mode, off_t offset, off_t length) {
    return Allocate("fallocate", fd, mode, offset, length);
}

int fallocate64(int fd, int mode, off_t offset, off_t length) {
    return Allocate("fallocate64", fd, mode, offset, length);
}
