// Texts from the string table, and bounded formatting.
#ifndef PARVEK_RESSTRING_H
#define PARVEK_RESSTRING_H

#include <windows.h>
#include <stddef.h>

extern HINSTANCE g_hInstance;

// Returns a text joined from one or more string resources (a piece that
// begins with '!' continues with the next id), in one of three buffers used
// in turn: a result stays valid until the third later call.
const char *LoadResString(UINT id);

// snprintf with the placeholders our texts use (%s %d %c %ld %08lx %%); the
// result is cut to fit and always terminated.
void FormatText(char *dest, size_t size, const char *format, ...);

#endif
