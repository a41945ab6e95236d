// The string loader shared by the setup driver and the extraction engine.
#include "resstring.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#define RESULT_CHARS 512
#define PIECE_SIZE 514

HINSTANCE g_hInstance;

static char s_results[3][RESULT_CHARS + 1];
static int s_turn;

void FormatText(char *dest, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    if (size > 0 && vsnprintf(dest, size, format, args) < 0)
        dest[0] = 0;
    va_end(args);
}

static void ReportStringError(const char *format, UINT id)
{
    char text[80];
    FormatText(text, sizeof text, format, (int)id);
    MessageBoxA(NULL, text, NULL, MB_ICONERROR);
}

const char *LoadResString(UINT id)
{
    char *result = s_results[s_turn];
    s_turn = (s_turn + 1) % 3;
    result[0] = 0;
    size_t held = 0;
    for (;;) {
        char piece[PIECE_SIZE];
        int n = LoadStringA(g_hInstance, id, piece, sizeof piece);
        if (n <= 0) {
            ReportStringError("Internal error: string resource not found: %d", id);
            return result;
        }
        size_t loaded = (size_t)n;
        if (loaded > RESULT_CHARS - held) {
            ReportStringError("Internal error: string resource too long: %d", id);
            return result;
        }
        bool continued = piece[0] == '!';
        const char *text = continued ? piece + 1 : piece;
        size_t len = loaded - (continued ? 1 : 0);
        memcpy(result + held, text, len + 1);
        held += len;
        if (!continued)
            return result;
        id++;
    }
}
