/* An LD_PRELOAD interposer that gives pseudo-terminal slaves modem lines.
 *
 * A pty refuses every modem-control request with ENOTTY. Preloaded into a
 * test, this library answers TIOCMGET, TIOCMSET, TIOCMBIS and TIOCMBIC for pty
 * slaves (character devices with major 136-143) from a line state it keeps per
 * device, and records every ioctl request made on such a device, emulated or
 * not, so a test can check the exact request sequence. Other descriptors go
 * straight to the C library.
 *
 * The test reaches the state and the log through the functions below, found
 * with dlsym(RTLD_DEFAULT, ...) (see modemshim.h).
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include "modemshim.h"

#define MAX_DEVICES 64

struct device {
    dev_t dev;
    int lines;      /* TIOCM_* bits */
    int failWith;   /* errno for modem requests, 0 = answer normally */
};

static struct device devices[MAX_DEVICES];
static int deviceCount;
static struct modemshim_request* log_;
static size_t logCount, logCapacity;
static int (*realIoctl)(int, unsigned long, ...);

static struct device* deviceOf(dev_t dev)
{
    for (int i = 0; i < deviceCount; ++i)
        if (devices[i].dev == dev)
            return &devices[i];
    if (deviceCount == MAX_DEVICES)
        abort();
    struct device* d = &devices[deviceCount++];
    d->dev = dev;
    /* The kernel raises DTR and RTS when a port opens. */
    d->lines = TIOCM_DTR | TIOCM_RTS;
    d->failWith = 0;
    return d;
}

static void record(dev_t dev, unsigned long request, int arg, int result, int lines)
{
    if (logCount == logCapacity) {
        size_t capacity = logCapacity ? logCapacity * 2 : 4096;
        struct modemshim_request* grown = realloc(log_, capacity * sizeof *log_);
        if (!grown)
            abort();
        log_ = grown;
        logCapacity = capacity;
    }
    log_[logCount++] = (struct modemshim_request){dev, request, arg, result, lines};
}

static int isPtySlave(int fd, dev_t* dev)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    unsigned maj = major(st.st_rdev);
    if (maj < 136 || maj > 143)
        return 0;
    *dev = st.st_rdev;
    return 1;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void* argp = va_arg(ap, void*);
    va_end(ap);

    if (!realIoctl) {
        realIoctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
        if (!realIoctl)
            abort();
    }

    dev_t dev;
    if (!isPtySlave(fd, &dev))
        return realIoctl(fd, request, argp);

    unsigned req = (unsigned)request;
    int isModem = req == TIOCMGET || req == TIOCMSET || req == TIOCMBIS || req == TIOCMBIC;
    if (!isModem) {
        int result = realIoctl(fd, request, argp);
        int saved = errno;
        record(dev, req, 0, result == 0 ? 0 : saved, deviceOf(dev)->lines);
        errno = saved;
        return result;
    }

    struct device* d = deviceOf(dev);
    int* value = (int*)argp;
    int arg = (req == TIOCMGET || !value) ? 0 : *value;
    if (d->failWith) {
        record(dev, req, arg, d->failWith, d->lines);
        errno = d->failWith;
        return -1;
    }
    if (!value) {
        record(dev, req, arg, EFAULT, d->lines);
        errno = EFAULT;
        return -1;
    }
    /* Only the outputs can be written; the inputs (DCD, CTS, DSR, RI) are the test's. */
    const int outputs = TIOCM_DTR | TIOCM_RTS;
    switch (req) {
    case TIOCMGET: *value = d->lines; break;
    case TIOCMSET: d->lines = (d->lines & ~outputs) | (arg & outputs); break;
    case TIOCMBIS: d->lines |= arg & outputs; break;
    case TIOCMBIC: d->lines &= ~(arg & outputs); break;
    }
    record(dev, req, arg, 0, d->lines);
    return 0;
}

size_t modemshim_count(void) { return logCount; }

const struct modemshim_request* modemshim_log(void) { return log_; }

void modemshim_clear(void) { logCount = 0; }

int modemshim_lines(dev_t dev) { return deviceOf(dev)->lines; }

void modemshim_set_inputs(dev_t dev, int inputs)
{
    struct device* d = deviceOf(dev);
    const int outputs = TIOCM_DTR | TIOCM_RTS;
    d->lines = (d->lines & outputs) | (inputs & ~outputs);
}

void modemshim_fail(dev_t dev, int err) { deviceOf(dev)->failWith = err; }
