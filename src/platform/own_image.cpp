// The program's own file, written again from what the system mapped when the
// process started. NT lets whoever may delete entries in the download folder
// rename the running program and put another file under its name, so the
// file the program was started from is never opened again, by any name:
// what runs is what was mapped. The mapped image is the file but for what the
// loader changed, the import address tables (the lookup tables beside them
// still hold what the file held, laid out alike, as our linker lays them
// out); the program is linked without relocations, and it never writes the
// sections that hold data in the file (the import tables, the resources). So
// the headers, then each section's stored bytes with the import address
// tables taken from the lookup tables, and zeros where the file holds the
// linker's padding (past a section's mapped size, and after the last section
// to the file's alignment), give the file back byte for byte. A certificate table (the Authenticode
// signature) lies after the sections and is not mapped: the file written ends where it began, and
// its entry in the headers is zeroed. Nothing checks the copy's signature.
#include "scrivox.h"

// Zeros to write where the file holds padding: never written, so that they
// take no room in the file.
static BYTE Zeros[512];

HANDLE CreateNewFile(const WCHAR *path)
{
    // A new file only: a name that is there already is never written through.
    return WIDE_CALL(CreateFileW, ENTRY_CREATE_FILE_W)(path, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                                       FILE_ATTRIBUTE_NORMAL, NULL);
}

int WriteWhole(HANDLE file, const void *bytes, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, bytes, size, &written, NULL) && written == size;
}

static int WriteZeros(HANDLE file, DWORD size)
{
    for (DWORD part; size > 0; size -= part) {
        part = size < sizeof Zeros ? size : sizeof Zeros;
        if (!WriteWhole(file, Zeros, part))
            return 0;
    }
    return 1;
}

// The image's bytes from `from`, `size` of them, but the `count` from `at`
// taken from `instead` where they lie within.
static int WriteSpan(HANDLE file, const BYTE *image, DWORD from, DWORD size, DWORD at,
                     const void *instead, DWORD count)
{
    if (at < from || at + count > from + size) {
        at = from + size; // none of them here
        count = 0;
    }
    return WriteWhole(file, image + from, at - from) && WriteWhole(file, instead, count) &&
           WriteWhole(file, image + at + count, from + size - at - count);
}

int WriteOwnImage(const WCHAR *path)
{
    const BYTE *image = reinterpret_cast<const BYTE *>(GetModuleHandleA(NULL));
    const IMAGE_NT_HEADERS32 *nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER *>(image)->e_lfanew);
    const IMAGE_SECTION_HEADER *section = reinterpret_cast<const IMAGE_SECTION_HEADER *>(
        reinterpret_cast<const BYTE *>(&nt->OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader);
    const IMAGE_DATA_DIRECTORY *directory = nt->OptionalHeader.DataDirectory;
    // The import address tables, one after another, and their lookup tables,
    // laid out alike, from the first library's.
    const IMAGE_DATA_DIRECTORY &addresses = directory[IMAGE_DIRECTORY_ENTRY_IAT];
    const BYTE *lookup = image + reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(
                                     image + directory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress)
                                     ->OriginalFirstThunk;
    HANDLE file = CreateNewFile(path);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    // The headers, the certificate table's entry zeroed.
    DWORD at = nt->OptionalHeader.SizeOfHeaders;
    int whole = WriteSpan(
        file, image, 0, at,
        static_cast<DWORD>(
            reinterpret_cast<const BYTE *>(&directory[IMAGE_DIRECTORY_ENTRY_SECURITY]) - image),
        Zeros, sizeof(IMAGE_DATA_DIRECTORY));
    // Each section the file stores, in the file's order, padding and all.
    for (WORD i = 0; whole && i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        DWORD stored = section->SizeOfRawData;
        DWORD mapped = section->Misc.VirtualSize < stored ? section->Misc.VirtualSize : stored;
        if (stored == 0)
            continue; // uninitialised data, which the file does not hold
        // Sections out of the file's order: not an image laid out by our linker.
        whole = section->PointerToRawData >= at &&
                WriteZeros(file, section->PointerToRawData - at) &&
                WriteSpan(file, image, section->VirtualAddress, mapped, addresses.VirtualAddress,
                          lookup, addresses.Size) &&
                WriteZeros(file, stored - mapped);
        at = section->PointerToRawData + stored;
    }
    // The linker's padding after the last section, to the file's alignment.
    whole = whole && WriteZeros(file, (0 - at) & (nt->OptionalHeader.FileAlignment - 1));
    return CloseHandle(file) && whole;
}
