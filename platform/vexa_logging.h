// Platform logging. One call per message; callable from any thread at any time.
#ifndef VEXA_LOGGING_H
#define VEXA_LOGGING_H

extern "C" int vexaprintf(int level, int module, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#endif // VEXA_LOGGING_H
