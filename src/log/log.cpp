// The install log: every entry opens %TEMP%\Scrivox.log, appends one
// timestamped line and closes the file again, so the log is complete up to
// the last entry whatever happens afterwards.
#include "scrivox.h"
#include "text.h"

enum {
    LOG_PATH_SIZE = 512,
    LOG_MESSAGE_SIZE = 512, // a longer message is cut at 511 characters
    LOG_STAMP_SIZE = 19,    // "MM/DD/YY HH:MM:SS " and the NUL
    // The stamp, the message with each line feed widened to CR LF, the final
    // CR LF and the NUL.
    LOG_ENTRY_SIZE = LOG_STAMP_SIZE - 1 + 2 * (LOG_MESSAGE_SIZE - 1) + 2 + 1
};

// Copies text into entry at *used, writing every line feed as CR LF, the way
// a text-mode stream would. entry is sized for the widest message.
static void AppendLines(char *entry, unsigned *used, const char *text)
{
    for (; *text != '\0'; ++text) {
        if (*text == '\n')
            entry[(*used)++] = '\r';
        entry[(*used)++] = *text;
    }
}

// The ways the log is opened to append, in turn. Opened to append alone,
// every write lands at the end of the file whoever else writes meanwhile, so
// two runs at once keep every entry whole (every NT). Where that is refused,
// or gives a handle that cannot write (the 95 family may do either), it is
// opened to write, and the entry is put at the end by a seek, as the log
// always was.
static const DWORD LogAccesses[] = {FILE_APPEND_DATA, GENERIC_WRITE};

// Opens %TEMP%\Scrivox.log for one entry in that way, or gives
// INVALID_HANDLE_VALUE. The wide path reaches a temporary directory whose
// name the ANSI code page cannot spell; the ANSI one serves only where the
// wide calls are missing or fail (the 95 family), for the ANSI form of such a
// name may be another folder's (best fit spells a letter the code page lacks
// as one like it). A directory too long for the path buffer means no log.
static HANDLE OpenLog(DWORD access)
{
    typedef decltype(&GetTempPathW) TempPathEntry;
    typedef decltype(&CreateFileW) CreateFileEntry;
    TempPathEntry tempPath = Bound<TempPathEntry>(ENTRY_GET_TEMP_PATH_W);
    CreateFileEntry createFile = Bound<CreateFileEntry>(ENTRY_CREATE_FILE_W);
    union {
        WCHAR wide[LOG_PATH_SIZE];
        char ansi[LOG_PATH_SIZE];
    } path;
    for (int wide = 1; wide >= 0; --wide) {
        DWORD length = 0;
        if (!wide)
            length = GetTempPathA(LOG_PATH_SIZE, path.ansi);
        else if (tempPath != NULL && createFile != NULL)
            length = tempPath(LOG_PATH_SIZE, path.wide);
        if (length == 0)
            continue; // no path this way: the ANSI one is asked for
        if (length >= LOG_PATH_SIZE ||
            !(wide ? APPEND_TEXT(path.wide, "Scrivox.log") : APPEND_TEXT(path.ansi, "Scrivox.log")))
            return INVALID_HANDLE_VALUE;
        const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
        HANDLE file = wide ? createFile(path.wide, access, sharing, NULL, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, NULL)
                           : CreateFileA(path.ansi, access, sharing, NULL, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE || access == FILE_APPEND_DATA ||
            SetFilePointer(file, 0, NULL, FILE_END) != INVALID_SET_FILE_POINTER)
            return file;
        CloseHandle(file); // written where it was opened, the entry would overwrite others
        return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

// Whether the log's file has another name besides: another user of a shared
// temporary directory may have made the log's name a hard link to a file the
// administrator may write (NTFS, NT 4.0 on), which must get no entry. Where
// the count of names cannot be had, the file is taken as the log.
static int HasOtherNames(HANDLE file)
{
    typedef decltype(&GetFileInformationByHandle) InformationEntry;
    InformationEntry query = Bound<InformationEntry>(ENTRY_GET_FILE_INFORMATION_BY_HANDLE);
    BY_HANDLE_FILE_INFORMATION information;
    return query != NULL && query(file, &information) && information.nNumberOfLinks > 1;
}

void WriteLog(const char *format, ...)
{
    // One reading of the clock gives both the date and the time.
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[LOG_STAMP_SIZE];
    FORMAT_TEXT(stamp, "%02d/%02d/%02d %02d:%02d:%02d ", now.wMonth, now.wDay, now.wYear % 100,
                now.wHour, now.wMinute, now.wSecond);

    char message[LOG_MESSAGE_SIZE];
    va_list arguments;
    va_start(arguments, format);
    FormatTextV(message, sizeof message, format, arguments); // a long message is cut
    va_end(arguments);

    char entry[LOG_ENTRY_SIZE];
    unsigned used = 0;
    AppendLines(entry, &used, stamp);
    AppendLines(entry, &used, message);
    AppendLines(entry, &used, "\n");

    // Each way in turn, until one writes the entry. A way that wrote part of
    // it is the last tried: the entry is never written twice.
    for (DWORD access : LogAccesses) {
        HANDLE file = OpenLog(access);
        if (file == INVALID_HANDLE_VALUE) {
            if (access == FILE_APPEND_DATA)
                continue;
            return; // the entry is skipped; the installation goes on
        }
        if (HasOtherNames(file)) {
            CloseHandle(file);
            return; // skipped too: another way would open the same file
        }
        DWORD written = 0;
        BOOL whole = WriteFile(file, entry, used, &written, NULL);
        CloseHandle(file);
        if (whole || written != 0)
            return;
    }
}
