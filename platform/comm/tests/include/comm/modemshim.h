/* The modem shim's interface (modemshim.c); the test support refers to it weakly. */
#pragma once
#include <stddef.h>
#include <sys/types.h>
#ifdef __cplusplus
#define MODEMSHIM_API extern "C" __attribute__((weak))
#else
#define MODEMSHIM_API __attribute__((visibility("default")))
#endif
struct modemshim_request {
    unsigned request;
    int arg;
}; /* an ioctl on a pty slave */
MODEMSHIM_API size_t modemshim_count(void);
MODEMSHIM_API const struct modemshim_request *modemshim_log(void);
MODEMSHIM_API void modemshim_clear(void);
MODEMSHIM_API int
modemshim_lines(dev_t dev); /* TIOCM_*; a new device: DTR and RTS raised, as after an open */
MODEMSHIM_API void modemshim_set_inputs(dev_t dev, int inputs); /* TIOCM_CAR, TIOCM_CTS, ... */
MODEMSHIM_API void modemshim_fail(dev_t dev,
                                  int err); /* its requests fail with err; 0: answer again */
