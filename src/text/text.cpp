// Bounded copy, append and format over fixed-size char buffers, with no C
// runtime behind them: the installer links none.
#include <windows.h>

#include "text.h"

unsigned TextLength(const char *text)
{
    unsigned length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

// A character as the number it stands for, so that ASCII text widens unchanged.
static unsigned CharacterCode(char c)
{
    return static_cast<unsigned char>(c);
}
static unsigned CharacterCode(WCHAR c)
{
    return c;
}

template <typename To, typename From>
static int CopyUnits(To *destination, unsigned size, const From *source)
{
    if (size == 0)
        return 0;
    unsigned i = 0;
    for (; source[i] != 0; ++i) {
        if (i + 1 >= size) {
            destination[i] = 0;
            return 0;
        }
        destination[i] = static_cast<To>(CharacterCode(source[i]));
    }
    destination[i] = 0;
    return 1;
}

template <typename To, typename From>
static int AppendUnits(To *destination, unsigned size, const From *source)
{
    unsigned used = 0;
    while (used < size && destination[used] != 0)
        ++used;
    if (used == size)
        return 0; // not even terminated: nothing can be appended safely
    return CopyUnits(destination + used, size - used, source);
}

int CopyText(char *destination, unsigned size, const char *source)
{
    return CopyUnits(destination, size, source);
}

int AppendText(char *destination, unsigned size, const char *source)
{
    return AppendUnits(destination, size, source);
}

int CopyText(WCHAR *destination, unsigned size, const WCHAR *source)
{
    return CopyUnits(destination, size, source);
}

int AppendText(WCHAR *destination, unsigned size, const WCHAR *source)
{
    return AppendUnits(destination, size, source);
}

int AppendText(WCHAR *destination, unsigned size, const char *source)
{
    return AppendUnits(destination, size, source);
}

// The formatter writes one piece at a time at *used, and stops at the first
// piece that does not fit, keeping the last byte for the NUL.
static int PutChar(char *destination, unsigned size, unsigned *used, char c)
{
    if (*used + 1 >= size)
        return 0;
    destination[(*used)++] = c;
    return 1;
}

static int PutText(char *destination, unsigned size, unsigned *used, const char *text)
{
    for (; *text != '\0'; ++text) {
        if (!PutChar(destination, size, used, *text))
            return 0;
    }
    return 1;
}

// A decimal number, padded on the left to width with blanks or zeros (zeros
// come after the sign, as in printf).
static int PutNumber(char *destination, unsigned size, unsigned *used, int value, unsigned width,
                     char pad)
{
    // The magnitude as unsigned, so that the most negative int has one too.
    unsigned magnitude =
        value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char digits[10];
    unsigned count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);

    unsigned length = count + (value < 0 ? 1 : 0);
    int fits = 1;
    if (value < 0 && pad == '0')
        fits = PutChar(destination, size, used, '-');
    for (; fits && width > length; --width)
        fits = PutChar(destination, size, used, pad);
    if (fits && value < 0 && pad != '0')
        fits = PutChar(destination, size, used, '-');
    while (fits && count > 0)
        fits = PutChar(destination, size, used, digits[--count]);
    return fits;
}

// The conversions the installer uses: %s, %d with an optional width and zero
// flag (%02d), and %%. Anything else after a % is written as it stands.
int FormatTextV(char *destination, unsigned size, const char *format, va_list arguments)
{
    if (size == 0)
        return 0;
    unsigned used = 0;
    int fits = 1;
    const char *at = format;
    while (fits && *at != '\0') {
        if (*at != '%') {
            fits = PutChar(destination, size, &used, *at++);
            continue;
        }
        const char *conversion = at++;
        char pad = ' ';
        if (*at == '0') {
            pad = '0';
            ++at;
        }
        unsigned width = 0;
        while (*at >= '0' && *at <= '9' && width < size)
            width = width * 10 + static_cast<unsigned>(*at++ - '0');
        if (*at == 'd') {
            fits = PutNumber(destination, size, &used, va_arg(arguments, int), width, pad);
            ++at;
        } else if (*at == 's') {
            const char *text = va_arg(arguments, const char *);
            fits = PutText(destination, size, &used, text != NULL ? text : "(null)");
            ++at;
        } else if (*at == '%' && at == conversion + 1) {
            fits = PutChar(destination, size, &used, '%');
            ++at;
        } else {
            // Not a conversion: the % is written and the rest follows as text.
            fits = PutChar(destination, size, &used, '%');
            at = conversion + 1;
        }
    }
    destination[used] = '\0';
    return fits;
}

int FormatText(char *destination, unsigned size, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int fitted = FormatTextV(destination, size, format, arguments);
    va_end(arguments);
    return fitted;
}
