// The package a program carries: built with it, ScrivoxSetup.exe holds the
// package's four files as resources of its own image (RCDATA, each named
// after its file, stored as it is), which the system maps with the program
// and the Authenticode signature covers. A program built without it holds
// none, and installs the files it finds beside it.
#include "scrivox.h"

// The carried file's bytes, in place in the program's image, and their
// count; null where the program carries no file of that name, or the calls
// cannot be had. On Win32 a loaded resource is its address (LockResource
// gives it back unchanged).
static const BYTE *CarriedBytes(const char *name, DWORD *size)
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

int CarriesPackage(void)
{
    DWORD size;
    return CarriedBytes(DriverFileSet[0], &size) != NULL;
}

int WriteCarriedFile(const char *name, const WCHAR *path)
{
    DWORD size;
    const BYTE *bytes = CarriedBytes(name, &size);
    if (bytes == NULL)
        return 0;
    // A new file only: a name that is there already is never written through.
    HANDLE file = WIDE_CALL(CreateFileW, ENTRY_CREATE_FILE_W)(
        path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    BOOL whole = WriteFile(file, bytes, size, &written, NULL) && written == size;
    return CloseHandle(file) && whole;
}
