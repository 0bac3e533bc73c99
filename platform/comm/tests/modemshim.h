/* The modem-line shim's test interface (see modemshim.c). A test that runs
 * with the shim preloaded finds these functions with dlsym(RTLD_DEFAULT, ...);
 * C++ tests use ModemShim below. */
#ifndef VELMORA_MODEMSHIM_H
#define VELMORA_MODEMSHIM_H

#include <stddef.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One ioctl request made on a pty slave. */
struct modemshim_request {
    dev_t dev;
    unsigned request;  /* TIOCMBIS, TIOCMGET, TIOCEXCL, ... */
    int arg;           /* the int argument of TIOCMSET/TIOCMBIS/TIOCMBIC */
    int error;         /* 0, or the errno the request failed with */
    int lines;         /* the device's TIOCM_* lines after the request */
};

size_t modemshim_count(void);
const struct modemshim_request* modemshim_log(void);
void modemshim_clear(void);
/* A device's lines; a device not seen before starts with DTR and RTS raised,
 * as the kernel leaves them after an open. */
int modemshim_lines(dev_t dev);
/* Sets the inputs (TIOCM_CAR, TIOCM_CTS, TIOCM_DSR, TIOCM_RNG) of a device. */
void modemshim_set_inputs(dev_t dev, int inputs);
void modemshim_set_outputs(dev_t dev, int outputs);
/* From now on every modem request on the device fails with err (0: normal again). */
void modemshim_fail(dev_t dev, int err);

#ifdef __cplusplus
}

#include <dlfcn.h>
#include <vector>

// The shim's functions, resolved in the running process; valid() is false
// when the test runs without the shim preloaded.
struct ModemShim {
    decltype(&modemshim_count) count = nullptr;
    decltype(&modemshim_log) log = nullptr;
    decltype(&modemshim_clear) clear = nullptr;
    decltype(&modemshim_lines) lines = nullptr;
    decltype(&modemshim_set_inputs) setInputs = nullptr;
    decltype(&modemshim_set_outputs) setOutputs = nullptr;
    decltype(&modemshim_fail) fail = nullptr;

    ModemShim()
    {
        resolve(count, "modemshim_count");
        resolve(log, "modemshim_log");
        resolve(clear, "modemshim_clear");
        resolve(lines, "modemshim_lines");
        resolve(setInputs, "modemshim_set_inputs");
        resolve(setOutputs, "modemshim_set_outputs");
        resolve(fail, "modemshim_fail");
    }
    bool valid() const { return count && log && clear && lines && setInputs && setOutputs && fail; }

    std::vector<modemshim_request> requests() const
    {
        return std::vector<modemshim_request>(log(), log() + count());
    }

private:
    template <class F> static void resolve(F& f, const char* name)
    {
        f = reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
    }
};
#endif

#endif
