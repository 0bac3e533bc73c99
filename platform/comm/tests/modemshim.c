/* Preloaded into every test process (LD_PRELOAD). Two jobs:
 *
 * - It keeps tests off the machine's serial ports: open, open64, openat,
 *   openat64, fopen and fopen64 of a path starting with /dev/ttyS, or of
 *   anything that is the device node of one (a link, another name), fail
 *   with EACCES and a line on standard error. Such a port may be the console.
 * - It gives pseudo-terminal slaves (character devices, majors 136-143) modem
 *   lines: TIOCMGET, TIOCMSET, TIOCMBIS and TIOCMBIC are answered from a line
 *   state kept per device, and every ioctl request on such a device is
 *   logged, so a test can check the exact request sequence (modemshim.h).
 */
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

#include "modemshim.h"

/* ---- Refusing the serial ports ------------------------------------------ */

static int refused(int dirfd, const char* path)
{
    struct stat st;
    /* ttyS devices are major 4, minors 64 and up; stat opens nothing. */
    if (strncmp(path, "/dev/ttyS", 9) != 0
        && !(fstatat(dirfd, path, &st, 0) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 4
             && minor(st.st_rdev) >= 64))
        return 0;
    fprintf(stderr, "velmora_modemshim: refused to open %s: tests never open the machine's serial ports\n", path);
    errno = EACCES;
    return 1;
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))
#define MODE(flags) \
    mode_t mode = 0; \
    if (((flags) & O_CREAT) || ((flags) & O_TMPFILE) == O_TMPFILE) \
    { va_list ap; va_start(ap, flags); mode = va_arg(ap, mode_t); va_end(ap); }

int open(const char* path, int flags, ...)
{ MODE(flags) return refused(AT_FDCWD, path) ? -1 : NEXT(open)(path, flags, mode); }
int open64(const char* path, int flags, ...)
{ MODE(flags) return refused(AT_FDCWD, path) ? -1 : NEXT(open64)(path, flags, mode); }
int openat(int dirfd, const char* path, int flags, ...)
{ MODE(flags) return refused(dirfd, path) ? -1 : NEXT(openat)(dirfd, path, flags, mode); }
int openat64(int dirfd, const char* path, int flags, ...)
{ MODE(flags) return refused(dirfd, path) ? -1 : NEXT(openat64)(dirfd, path, flags, mode); }
FILE* fopen(const char* path, const char* how)
{ return refused(AT_FDCWD, path) ? NULL : NEXT(fopen)(path, how); }
FILE* fopen64(const char* path, const char* how)
{ return refused(AT_FDCWD, path) ? NULL : NEXT(fopen64)(path, how); }

/* ---- Modem lines for pseudo-terminals ----------------------------------- */

#define MAX_DEVICES 64

static struct device {
    dev_t dev;
    int lines;      /* TIOCM_* bits */
    int failWith;   /* errno for modem requests, 0 = answer normally */
} devices[MAX_DEVICES];
static int deviceCount;
static struct modemshim_request* log_;
static size_t logCount, logCapacity;

static struct device* deviceOf(dev_t dev)
{
    for (int i = 0; i < deviceCount; ++i)
        if (devices[i].dev == dev)
            return &devices[i];
    if (deviceCount == MAX_DEVICES)
        abort();
    /* The kernel raises DTR and RTS when a port opens. */
    devices[deviceCount] = (struct device){dev, TIOCM_DTR | TIOCM_RTS, 0};
    return &devices[deviceCount++];
}

static int record(dev_t dev, unsigned request, int arg, int error, int result)
{
    if (logCount == logCapacity) {
        logCapacity = logCapacity ? logCapacity * 2 : 4096;
        if (!(log_ = realloc(log_, logCapacity * sizeof *log_)))
            abort();
    }
    log_[logCount++] = (struct modemshim_request){dev, request, arg, error, deviceOf(dev)->lines};
    errno = error;
    return result;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    int* argp = va_arg(ap, int*);
    va_end(ap);

    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || major(st.st_rdev) < 136 || major(st.st_rdev) > 143)
        return NEXT(ioctl)(fd, request, argp);
    const dev_t dev = st.st_rdev;
    const unsigned req = (unsigned)request;
    if (req != TIOCMGET && req != TIOCMSET && req != TIOCMBIS && req != TIOCMBIC) {
        const int result = NEXT(ioctl)(fd, request, argp);
        return record(dev, req, 0, result == 0 ? 0 : errno, result);
    }
    struct device* d = deviceOf(dev);
    const int arg = (req == TIOCMGET || !argp) ? 0 : *argp;
    if (d->failWith || !argp)
        return record(dev, req, arg, d->failWith ? d->failWith : EFAULT, -1);
    /* Only the outputs can be written; the inputs (DCD, CTS, DSR, RI) are the test's. */
    const int outputs = TIOCM_DTR | TIOCM_RTS;
    switch (req) {
    case TIOCMGET: *argp = d->lines; break;
    case TIOCMSET: d->lines = (d->lines & ~outputs) | (arg & outputs); break;
    case TIOCMBIS: d->lines |= arg & outputs; break;
    case TIOCMBIC: d->lines &= ~(arg & outputs); break;
    }
    return record(dev, req, arg, 0, 0);
}

size_t modemshim_count(void) { return logCount; }
const struct modemshim_request* modemshim_log(void) { return log_; }
void modemshim_clear(void) { logCount = 0; }
int modemshim_lines(dev_t dev) { return deviceOf(dev)->lines; }
void modemshim_fail(dev_t dev, int err) { deviceOf(dev)->failWith = err; }

void modemshim_set_inputs(dev_t dev, int inputs)
{
    struct device* d = deviceOf(dev);
    const int outputs = TIOCM_DTR | TIOCM_RTS;
    d->lines = (d->lines & outputs) | (inputs & ~outputs);
}
