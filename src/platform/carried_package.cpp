// The package a program carries: built with it, ScrivoxSetup.exe holds the
// package's four files as resources of its own image (RCDATA, each named
// after its file, stored as it is), which the system maps with the program
// and the Authenticode signature covers, and beside them a record of each,
// taken when the program was built (RCDATA number 1, in copy order, least
// significant bytes first): its CRC-32 and its time. A download damaged on the
// way here is not installed: a carried file whose bytes no longer give its
// CRC-32 is never written. Each file written gets the time the package's file
// had, as the archive's files keep theirs, so that both forms install the
// same times (the spooler takes an upgrade's files where they are newer
// than those in use). A program built without the package holds none of
// these, and installs the files it finds beside it.
#include "scrivox.h"

enum {
    CARRIED_RECORD = 1, // the resource of the files' records
    RECORD_SIZE = 12,   // a file's: its CRC-32 (4 bytes), its last-write time (a FILETIME)
};

// The carried resource's bytes, in place in the program's image, and their
// count; null where the program carries no resource of that name, or the
// calls cannot be had. On Win32 a loaded resource is its address
// (LockResource gives it back unchanged).
static const BYTE *CarriedBytes(LPCSTR name, DWORD *size)
{
    typedef decltype(&FindResourceA) FindEntry;
    typedef decltype(&SizeofResource) SizeEntry;
    typedef decltype(&LoadResource) LoadEntry;
    FindEntry find = Bound<FindEntry>(ENTRY_FIND_RESOURCE);
    SizeEntry sizeOf = Bound<SizeEntry>(ENTRY_SIZEOF_RESOURCE);
    LoadEntry load = Bound<LoadEntry>(ENTRY_LOAD_RESOURCE);
    HRSRC found =
        find != NULL && sizeOf != NULL && load != NULL ? find(NULL, name, RT_RCDATA) : NULL;
    if (found == NULL)
        return NULL;
    *size = sizeOf(NULL, found);
    return static_cast<const BYTE *>(load(NULL, found));
}

// The CRC-32 of ZIP and PNG (the reflected polynomial 0xEDB88320), a bit at
// a time: no table to carry.
static DWORD Crc32(const BYTE *bytes, DWORD size)
{
    DWORD crc = 0xFFFFFFFF;
    for (DWORD i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

int CarriesPackage(void)
{
    DWORD size;
    return CarriedBytes(DriverFileSet[0], &size) != NULL;
}

int WriteCarriedFile(unsigned index, const WCHAR *path)
{
    DWORD size, recordsSize;
    const BYTE *bytes = CarriedBytes(DriverFileSet[index], &size);
    const BYTE *record = CarriedBytes(MAKEINTRESOURCEA(CARRIED_RECORD), &recordsSize);
    if (bytes == NULL || record == NULL || recordsSize != RECORD_SIZE * DRIVER_FILE_COUNT)
        return 0;
    record += static_cast<size_t>(RECORD_SIZE) * index;
    DWORD crc = Crc32(bytes, size);
    for (int i = 0; i < 4; ++i) {
        if (record[i] != static_cast<BYTE>(crc >> 8 * i))
            return 0; // damaged: never written
    }
    HANDLE file = CreateNewFile(path);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    int whole = WriteWhole(file, bytes, size) &&
                WIDE_CALL(SetFileTime, ENTRY_SET_FILE_TIME)(
                    file, NULL, NULL, reinterpret_cast<const FILETIME *>(record + 4));
    return CloseHandle(file) && whole;
}
