// Bounded copy, append and format over fixed-size char buffers.
#include <stdio.h>
#include <windows.h>

#include "text.h"

unsigned TextLength(const char *text)
{
    unsigned length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

int CopyText(char *destination, unsigned size, const char *source)
{
    if (size == 0)
        return 0;
    unsigned i = 0;
    for (; source[i] != '\0'; ++i) {
        if (i + 1 >= size) {
            destination[i] = '\0';
            return 0;
        }
        destination[i] = source[i];
    }
    destination[i] = '\0';
    return 1;
}

int AppendText(char *destination, unsigned size, const char *source)
{
    unsigned used = 0;
    while (used < size && destination[used] != '\0')
        ++used;
    if (used == size)
        return 0; // not even terminated: nothing can be appended safely
    return CopyText(destination + used, size - used, source);
}

int FormatTextV(char *destination, unsigned size, const char *format, va_list arguments)
{
    if (size == 0)
        return 0;
    // msvcrt's _vsnprintf writes at most count characters and returns -1 when
    // the text did not fit; it adds no NUL when the text fills count exactly.
    // Passing size - 1 keeps the last byte for the NUL we always write.
    int written = _vsnprintf(destination, size - 1, format, arguments);
    destination[size - 1] = '\0';
    return written >= 0 && (unsigned)written <= size - 1;
}

int FormatText(char *destination, unsigned size, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int fitted = FormatTextV(destination, size, format, arguments);
    va_end(arguments);
    return fitted;
}
