/* The script engine, built from the distribution's Duktape source with two options on: the
 * interrupt counter and the execution time-out check, which asks the host whether the running
 * script is to stop (pwScriptShouldStop, host/script/script_engine.cpp). The distribution's
 * configuration is read first; the source then finds it already read and keeps these. */
#define DUK_COMPILING_DUKTAPE
#include "/usr/share/duktape/duk_config.h"

int pwScriptShouldStop(void* heapUserData);

#define DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) pwScriptShouldStop(udata)

#include "/usr/share/duktape/duktape.c"
