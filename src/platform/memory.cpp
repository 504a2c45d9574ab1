// The memory routines GCC may call by itself, for zero-filled records and
// structure copies, here because the installer links no C runtime. The
// installer is compiled with -fno-tree-loop-distribute-patterns, so that GCC
// does not turn these loops back into calls to themselves.
#include <stddef.h>

extern "C" {

void *memset(void *destination, int value, size_t size)
{
    unsigned char *to = static_cast<unsigned char *>(destination);
    while (size-- > 0)
        *to++ = static_cast<unsigned char>(value);
    return destination;
}

void *memcpy(void *destination, const void *source, size_t size)
{
    unsigned char *to = static_cast<unsigned char *>(destination);
    const unsigned char *from = static_cast<const unsigned char *>(source);
    while (size-- > 0)
        *to++ = *from++;
    return destination;
}

void *memmove(void *destination, const void *source, size_t size)
{
    unsigned char *to = static_cast<unsigned char *>(destination);
    const unsigned char *from = static_cast<const unsigned char *>(source);
    if (to <= from || to >= from + size)
        return memcpy(destination, source, size);
    while (size-- > 0)
        to[size] = from[size];
    return destination;
}

int memcmp(const void *first, const void *second, size_t size)
{
    const unsigned char *a = static_cast<const unsigned char *>(first);
    const unsigned char *b = static_cast<const unsigned char *>(second);
    for (; size > 0; --size, ++a, ++b) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
    }
    return 0;
}

} // extern "C"
