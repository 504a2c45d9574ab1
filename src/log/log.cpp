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

static int BuildLogPath(char (&path)[LOG_PATH_SIZE])
{
    DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length >= sizeof path)
        return 0; // no temporary directory, or one too long for the buffer
    return APPEND_TEXT(path, "Scrivox.log");
}

void WriteLog(const char *format, ...)
{
    char path[LOG_PATH_SIZE];
    if (!BuildLogPath(path))
        return;

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

    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return; // the entry is skipped; the installation goes on
    if (SetFilePointer(file, 0, NULL, FILE_END) != INVALID_SET_FILE_POINTER) {
        DWORD written = 0;
        WriteFile(file, entry, used, &written, NULL);
    }
    CloseHandle(file);
}
