// Bounded text helpers. Each takes the destination's real size, always leaves
// it NUL-terminated, and returns 1 when the whole result fit, 0 when it was cut.
// A cut result may be shown or logged; a cut path must never be used.
#ifndef SCRIVOX_TEXT_H
#define SCRIVOX_TEXT_H

#include <stdarg.h>
#include <windows.h>

// Number of elements of an array; a pointer does not compile.
template <typename T, unsigned N> char (&CountOfHelper(T (&)[N]))[N];
#define COUNT_OF(array) (sizeof(CountOfHelper(array)))

unsigned TextLength(const char *text);
int CopyText(char *destination, unsigned size, const char *source);
int AppendText(char *destination, unsigned size, const char *source);
// The launcher's paths are wide: a wide copy and append, and ASCII text
// appended as wide characters.
int CopyText(WCHAR *destination, unsigned size, const WCHAR *source);
int AppendText(WCHAR *destination, unsigned size, const WCHAR *source);
int AppendText(WCHAR *destination, unsigned size, const char *source);
int FormatText(char *destination, unsigned size, const char *format, ...);
int FormatTextV(char *destination, unsigned size, const char *format, va_list arguments);

// The same, for an array destination whose size is taken from its type.
#define COPY_TEXT(array, source) CopyText((array), COUNT_OF(array), (source))
#define APPEND_TEXT(array, source) AppendText((array), COUNT_OF(array), (source))
#define FORMAT_TEXT(array, ...) FormatText((array), COUNT_OF(array), __VA_ARGS__)

#endif
