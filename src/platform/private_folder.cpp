// The launcher's private folder: a new folder in the temporary directory,
// under a name nobody can guess beforehand, that only the user who runs the
// installer, the Administrators and SYSTEM may enter. NT 4.0's temporary
// directory is often the shared C:\TEMP, where anyone may write: a folder
// made there with the default access could have a DLL put into it between
// the copy and its start. So the access list is given when the folder is
// created, never set afterwards, and a folder that already exists is never
// used. On a file system without access lists (FAT) the folder is made all
// the same and stays as created. Its path is wide, so that a temporary
// directory of any name serves (a user name in another script than the
// system's gives one that the ANSI code page cannot spell). Only a program in
// such a folder may act as the private copy, which removes itself and its
// folder: the copy inherits the launcher's environment, and with it its
// temporary directory.
#include "scrivox.h"

#include "text.h"

enum {
    NAME_ATTEMPTS = 8, // names tried before giving up; only an existing folder makes another try
    RANDOM_BYTES = 8,  // the name's random part, 16 hexadecimal digits
    TOKEN_USER_SIZE = 128, // bytes: a TOKEN_USER and the longest SID (68 bytes)
    ACL_SIZE = 64,         // DWORDs: the header and three entries with their SIDs
};

// A TOKEN_USER and the SID that follows it, aligned as the record needs.
union TokenUserRecord {
    TOKEN_USER user;
    BYTE bytes[TOKEN_USER_SIZE];
};

// Everything the folder's security attributes point to, kept together so it
// lives as long as they are used.
struct PrivateAccess {
    SECURITY_ATTRIBUTES attributes;
    SECURITY_DESCRIPTOR descriptor;
    TokenUserRecord user;
    DWORD acl[ACL_SIZE];
};

// The SID of the user whose token this process carries.
static PSID CurrentUser(TokenUserRecord *buffer)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return NULL;
    DWORD needed = 0;
    BOOL known = GetTokenInformation(token, TokenUser, buffer, sizeof *buffer, &needed);
    CloseHandle(token);
    return known ? buffer->user.User.Sid : NULL;
}

// Full access for the user, the Administrators and SYSTEM, passed on to
// everything made inside the folder, and nothing taken from its parent.
static int BuildPrivateAccess(PrivateAccess *access)
{
    typedef BOOL(WINAPI * SetControlEntry)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                           SECURITY_DESCRIPTOR_CONTROL);
    // The well-known SIDs, as Windows lays a SID out: revision 1, the count
    // of sub-authorities, the NT authority (5), then the sub-authorities.
    BYTE administrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0}; // S-1-5-32-544
    BYTE localSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};                   // S-1-5-18
    PSID user = CurrentUser(&access->user);
    if (user == NULL)
        return 0;
    PSID sids[] = {user, administrators, localSystem};
    PACL acl = reinterpret_cast<PACL>(access->acl);
    if (!InitializeAcl(acl, sizeof access->acl, ACL_REVISION))
        return 0;
    for (DWORD i = 0; i < COUNT_OF(sids); ++i) {
        LPVOID ace = NULL;
        // NT 4.0 has no call that adds an inherited entry: the flags are set
        // on the entry as added.
        if (!AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sids[i]) ||
            !GetAce(acl, i, &ace))
            return 0;
        static_cast<ACE_HEADER *>(ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
    if (!InitializeSecurityDescriptor(&access->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&access->descriptor, TRUE, acl, FALSE))
        return 0;
    // Windows 2000 and later add the parent's inheritable entries to a new
    // folder's list unless it is protected; NT 4.0 never does, and lacks the call.
    SetControlEntry setControl = Bound<SetControlEntry>(ENTRY_SET_SECURITY_DESCRIPTOR_CONTROL);
    if (setControl != NULL &&
        !setControl(&access->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return 0;
    access->attributes.nLength = sizeof access->attributes;
    access->attributes.lpSecurityDescriptor = &access->descriptor;
    access->attributes.bInheritHandle = FALSE;
    return 1;
}

// Sixteen hexadecimal digits from the system's random generator (RtlGenRandom,
// XP and later). NT 4.0 and 2000 lack it: there the digits come from the
// high-resolution counter, the tick count and the process id. Such a name
// can be guessed with effort, but the folder's access list and its being new
// each time keep a guesser out all the same.
static void RandomName(char (&name)[2 * RANDOM_BYTES + 1])
{
    typedef BOOLEAN(WINAPI * GenerateEntry)(PVOID buffer, ULONG length);
    GenerateEntry generate = Bound<GenerateEntry>(ENTRY_GENERATE_RANDOM);
    DWORD random[RANDOM_BYTES / 4] = {};
    if (generate == NULL || !generate(random, sizeof random)) {
        LARGE_INTEGER counter;
        counter.QuadPart = 0;
        QueryPerformanceCounter(&counter);
        random[0] = counter.LowPart;
        random[1] = counter.HighPart ^ GetTickCount() ^ (GetCurrentProcessId() << 16);
    }
    const char digits[] = "0123456789abcdef";
    char *at = name;
    for (const BYTE *byte = reinterpret_cast<const BYTE *>(random);
         byte < reinterpret_cast<const BYTE *>(random) + RANDOM_BYTES; ++byte) {
        *at++ = digits[*byte >> 4];
        *at++ = digits[*byte & 0xF];
    }
    *at = '\0';
}

// The temporary directory, ending in a backslash: its length, or 0 when it
// cannot be had whole.
static DWORD TemporaryDirectory(WCHAR (&path)[PATH_SIZE])
{
    DWORD length = WIDE_CALL(GetTempPathW, ENTRY_GET_TEMP_PATH_W)(PATH_SIZE, path);
    return length < PATH_SIZE ? length : 0;
}

int MakePrivateFolder(WCHAR (&folder)[PATH_SIZE])
{
    WCHAR temporary[PATH_SIZE];
    if (TemporaryDirectory(temporary) == 0)
        return 0;
    PrivateAccess access;
    if (LoadSystemLibrary(LIBRARY_ADVAPI32) == NULL || !BuildPrivateAccess(&access))
        return 0;
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        char name[2 * RANDOM_BYTES + 1];
        RandomName(name);
        if (!COPY_TEXT(folder, temporary) || !APPEND_TEXT(folder, PRIVATE_FOLDER_PREFIX) ||
            !APPEND_TEXT(folder, name))
            return 0; // a cut path would name another folder
        if (WIDE_CALL(CreateDirectoryW, ENTRY_CREATE_DIRECTORY_W)(folder, &access.attributes))
            return 1;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    return 0;
}

// An ASCII capital as its small letter; any other character as it is.
static unsigned Folded(unsigned c)
{
    return c - 'A' < 26u ? c + ('a' - 'A') : c;
}

int InPrivateFolder(const WCHAR *program)
{
    // The temporary directory, then the folder's name, a '#' standing for
    // each of its hexadecimal digits, and the copy's.
    WCHAR pattern[PATH_SIZE];
    DWORD length = TemporaryDirectory(pattern);
    if (length == 0 ||
        !APPEND_TEXT(pattern, PRIVATE_FOLDER_PREFIX "################\\" PRIVATE_COPY_NAME))
        return 0;
    unsigned i = 0;
    for (; pattern[i] != 0; ++i) {
        unsigned c = Folded(program[i]); // a shorter path's NUL matches nothing
        if (i >= length && pattern[i] == '#' ? c - '0' >= 10u && c - 'a' >= 6u
                                             : c != Folded(pattern[i]))
            return 0;
    }
    return program[i] == 0;
}
