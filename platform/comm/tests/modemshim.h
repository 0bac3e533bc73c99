/* The modem-line shim's interface to the test support (see modemshim.c). The
 * test support refers to these weakly: they resolve when the shim is preloaded. */
#ifndef VELMORA_MODEMSHIM_H
#define VELMORA_MODEMSHIM_H

#include <stddef.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#define MODEMSHIM_API __attribute__((weak))
#else
#define MODEMSHIM_API __attribute__((visibility("default")))
#endif

struct modemshim_request {
    dev_t dev;
    unsigned request;
    int arg;
    int error;
    int lines;
};

MODEMSHIM_API size_t modemshim_count(void);
MODEMSHIM_API const struct modemshim_request* modemshim_log(void);
MODEMSHIM_API void modemshim_clear(void);
/* A device not seen before starts with DTR and RTS raised, as after an open. */
MODEMSHIM_API int modemshim_lines(dev_t dev);
MODEMSHIM_API void modemshim_set_inputs(dev_t dev, int inputs);
MODEMSHIM_API void modemshim_fail(dev_t dev, int err);

#ifdef __cplusplus
}
#endif
#endif
