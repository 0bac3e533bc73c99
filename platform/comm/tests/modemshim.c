/* Preloaded into every test process (LD_PRELOAD). It keeps tests off the
 * machine's serial ports (one may be the console): opening a /dev/ttyS* path,
 * or a ttyS device node under any name, fails with EACCES and a line on
 * stderr. And it gives pseudo-terminal slaves modem lines (TIOCMGET, TIOCMSET,
 * TIOCMBIS, TIOCMBIC, kept per device), logging every ioctl request on them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "comm/modemshim.h"

static int refused(int dirfd, const char *path) {
    struct stat st;
    /* ttyS devices are major 4, minors 64 and up; stat opens nothing. */
    if (strncmp(path, "/dev/ttyS", 9) != 0 &&
        !(fstatat(dirfd, path, &st, 0) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 4 &&
          minor(st.st_rdev) >= 64))
        return 0;
    fprintf(stderr,
            "velmora_modemshim: refused to open %s: tests never open the machine's serial ports\n",
            path);
    errno = EACCES;
    return 1;
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))
#define MODE(flags)                                                                                \
    mode_t mode = 0;                                                                               \
    if (((flags)&O_CREAT) || ((flags)&O_TMPFILE) == O_TMPFILE) {                                   \
        va_list ap;                                                                                \
        va_start(ap, flags);                                                                       \
        mode = va_arg(ap, mode_t);                                                                 \
        va_end(ap);                                                                                \
    }

/* On 64-bit glibc the *64 forms are the same functions under a second name. */
int open(const char *path, int flags, ...) {
    MODE(flags) return refused(AT_FDCWD, path) ? -1 : NEXT(open)(path, flags, mode);
}
int openat(int dirfd, const char *path, int flags, ...) {
    MODE(flags) return refused(dirfd, path) ? -1 : NEXT(openat)(dirfd, path, flags, mode);
}
FILE *fopen(const char *path, const char *how) {
    return refused(AT_FDCWD, path) ? NULL : NEXT(fopen)(path, how);
}
__typeof__(open) open64 __attribute__((alias("open")));
__typeof__(openat) openat64 __attribute__((alias("openat")));
__typeof__(fopen) fopen64 __attribute__((alias("fopen")));

#define OUTPUTS (TIOCM_DTR | TIOCM_RTS)
static struct device {
    dev_t dev;
    int lines, failWith;
} devices[64]; /* failWith: errno, 0 = answer */
static int deviceCount;
static struct modemshim_request log_[1 << 16];
static size_t logCount;

static struct device *deviceOf(dev_t dev) {
    for (int i = 0; i < deviceCount; ++i)
        if (devices[i].dev == dev)
            return &devices[i];
    if (deviceCount == 64)
        abort();
    devices[deviceCount] = (struct device){dev, OUTPUTS, 0}; /* the kernel raises both at open */
    return &devices[deviceCount++];
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    int *argp = va_arg(ap, int *);
    va_end(ap);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || major(st.st_rdev) < 136 ||
        major(st.st_rdev) > 143)
        return NEXT(ioctl)(fd, request, argp); /* not a pty slave */
    if (logCount == sizeof log_ / sizeof *log_)
        abort();
    const unsigned req = (unsigned)request;
    const int modem = req == TIOCMGET || req == TIOCMSET || req == TIOCMBIS || req == TIOCMBIC;
    log_[logCount++] =
        (struct modemshim_request){req, modem && req != TIOCMGET && argp ? *argp : 0};
    if (!modem)
        return NEXT(ioctl)(fd, request, argp);
    struct device *d = deviceOf(st.st_rdev);
    if (d->failWith || !argp)
        return errno = d->failWith ? d->failWith : EFAULT, -1;
    const int arg = *argp & OUTPUTS; /* only the outputs can be written; the inputs (DCD, CTS, DSR,
                                        RI) are the test's */
    if (req == TIOCMGET)
        *argp = d->lines;
    else
        d->lines = req == TIOCMBIS   ? d->lines | arg
                   : req == TIOCMBIC ? d->lines & ~arg
                                     : (d->lines & ~OUTPUTS) | arg;
    return 0;
}

size_t modemshim_count(void) {
    return logCount;
}
const struct modemshim_request *modemshim_log(void) {
    return log_;
}
void modemshim_clear(void) {
    logCount = 0;
}
int modemshim_lines(dev_t dev) {
    return deviceOf(dev)->lines;
}
void modemshim_fail(dev_t dev, int err) {
    deviceOf(dev)->failWith = err;
}
void modemshim_set_inputs(dev_t dev, int inputs) {
    struct device *d = deviceOf(dev);
    d->lines = (d->lines & OUTPUTS) | (inputs & ~OUTPUTS);
}
