// The launcher's private folder: a new folder in the temporary directory,
// under a name nobody can guess beforehand, that only the user who runs the
// installer, the Administrators and SYSTEM may enter. NT 4.0's temporary
// directory is often the shared C:\TEMP, where anyone may write: a folder
// made there with the default access could have a DLL put into it between
// the copy and its start. So the access list is given when the folder is
// created, never set afterwards, and a folder that already exists is never
// used. On a file system without access lists (FAT) the folder is made all
// the same and stays as created. Where anyone may delete what the temporary
// directory holds, anyone could also rename the folder away and put one of
// their own in its place: so the folder is held open, without letting anyone
// delete or rename it, from the moment it is made until its removal, and a
// folder found to be someone else's by then is not used. Its path is wide, so
// that a temporary directory of any name serves (a user name in another
// script than the system's gives one that the ANSI code page cannot spell).
// Only a program in such a folder may act as the private copy, which
// schedules itself and its folder for removal: the copy inherits the
// launcher's environment, and with it its temporary directory.
#include "scrivox.h"

#include "text.h"

enum {
    NAME_ATTEMPTS = 8,    // names tried before giving up; only an existing folder makes another try
    RANDOM_BYTES = 8,     // the name's random part, 16 hexadecimal digits
    TOKEN_SID_SIZE = 128, // bytes: a TOKEN_USER or TOKEN_OWNER and the longest SID (68 bytes)
    ACL_SIZE = 64,        // DWORDs: the header and three entries with their SIDs
    OWNER_QUERY_SIZE = 128, // bytes: a self-relative security descriptor and its owner
};

// A TOKEN_USER or TOKEN_OWNER and the SID that follows it, aligned as the
// record needs. Both begin with the SID's address.
union TokenSidRecord {
    TOKEN_USER user;
    TOKEN_OWNER owner;
    BYTE bytes[TOKEN_SID_SIZE];
};

// Everything the folder's security attributes point to, kept together so it
// lives as long as they are used.
struct PrivateAccess {
    SECURITY_ATTRIBUTES attributes;
    SECURITY_DESCRIPTOR descriptor;
    TokenSidRecord user;
    DWORD acl[ACL_SIZE];
};

// A SID of this process's token: its user's (TokenUser), or the owner it
// gives the objects it makes (TokenOwner: for an administrator, often the
// Administrators group).
static PSID TokenSid(TOKEN_INFORMATION_CLASS kind, TokenSidRecord *buffer)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return NULL;
    DWORD needed = 0;
    BOOL known = GetTokenInformation(token, kind, buffer, sizeof *buffer, &needed);
    CloseHandle(token);
    return known ? buffer->owner.Owner : NULL;
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
    PSID user = TokenSid(TokenUser, &access->user);
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

// A SID's length in bytes, from its count of sub-authorities.
static DWORD SidLength(const BYTE *sid)
{
    return 8 + 4 * static_cast<DWORD>(sid[1]);
}

// Whether the folder the handle holds is owned by someone other than this
// process: its owner is neither the one its token gives the objects it makes
// (for an administrator on XP, the Administrators group) nor its user (Wine
// reports the user). A file system that keeps no owner (FAT) reports none, or
// the World (S-1-1-0), which no user can make the owner of a folder of
// theirs; the hold is all there is then, and the folder is used.
static int OwnedByAnother(HANDLE folder, PSID owner, PSID user)
{
    const BYTE World[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}; // S-1-1-0
    DWORD query[OWNER_QUERY_SIZE / sizeof(DWORD)];
    DWORD needed = 0;
    if (!GetKernelObjectSecurity(folder, OWNER_SECURITY_INFORMATION, query, sizeof query, &needed))
        return 0;
    // A self-relative descriptor: the owner's offset follows the revision
    // and control fields; 0 means none.
    DWORD at = query[1];
    const BYTE *bytes = reinterpret_cast<const BYTE *>(query);
    if (at == 0 || at + 8 > sizeof query || at + SidLength(bytes + at) > sizeof query)
        return 0;
    const BYTE *found = bytes + at;
    const BYTE *const accepted[] = {static_cast<const BYTE *>(owner),
                                    static_cast<const BYTE *>(user), World};
    for (const BYTE *other : accepted) {
        DWORD i = 0;
        while (i < SidLength(other) && found[i] == other[i])
            ++i;
        if (i == SidLength(other))
            return 0;
    }
    return 1;
}

int MakePrivateFolder(WCHAR (&folder)[PATH_SIZE], HANDLE *hold)
{
    WCHAR temporary[PATH_SIZE];
    if (TemporaryDirectory(temporary) == 0)
        return 0;
    PrivateAccess access;
    TokenSidRecord ownerRecord;
    PSID owner;
    if (LoadSystemLibrary(LIBRARY_ADVAPI32) == NULL || !BuildPrivateAccess(&access) ||
        (owner = TokenSid(TokenOwner, &ownerRecord)) == NULL)
        return 0;
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        char name[2 * RANDOM_BYTES + 1];
        RandomName(name);
        if (!COPY_TEXT(folder, temporary) || !APPEND_TEXT(folder, PRIVATE_FOLDER_PREFIX) ||
            !APPEND_TEXT(folder, name))
            return 0; // a cut path would name another folder
        if (!WIDE_CALL(CreateDirectoryW, ENTRY_CREATE_DIRECTORY_W)(folder, &access.attributes)) {
            if (GetLastError() != ERROR_ALREADY_EXISTS)
                return 0;
            continue;
        }
        // Held from now on: nobody may rename or remove it, whoever may
        // delete what its parent holds. One made again by someone else in
        // the moment before is theirs, and is left to them, as is one that
        // cannot be held.
        *hold = WIDE_CALL(CreateFileW, ENTRY_CREATE_FILE_W)(
            folder, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS, NULL);
        if (*hold == INVALID_HANDLE_VALUE)
            continue;
        if (!OwnedByAnother(*hold, owner, access.user.user.User.Sid))
            return 1;
        CloseHandle(*hold);
    }
    return 0;
}

// An ASCII capital as its small letter; any other character as it is.
static unsigned Folded(unsigned c)
{
    return c - 'A' < 26u ? c + ('a' - 'A') : c;
}

// The identity of the folder a path names, whatever its spelling (a short or
// long form, a drive letter's case, a substituted drive, a junction): its
// volume's serial number and its index there. 0 when it cannot be had.
static int FolderIdentity(const WCHAR *path, BY_HANDLE_FILE_INFORMATION *identity)
{
    HANDLE folder = WIDE_CALL(CreateFileW, ENTRY_CREATE_FILE_W)(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return 0;
    BOOL known = WIDE_CALL(GetFileInformationByHandle,
                           ENTRY_GET_FILE_INFORMATION_BY_HANDLE)(folder, identity);
    CloseHandle(folder);
    return known;
}

int InPrivateFolder(const WCHAR *program)
{
    // The program's own name and its folder's, a '#' standing for each of
    // the folder name's hexadecimal digits, compared without regard to case.
    static const char Tail[] = "\\" PRIVATE_FOLDER_PREFIX "################\\" PRIVATE_COPY_NAME;
    unsigned length = 0;
    while (program[length] != 0)
        ++length;
    const unsigned tail = COUNT_OF(Tail) - 1;
    if (length <= tail)
        return 0;
    const WCHAR *end = program + length - tail;
    for (unsigned i = 0; i < tail; ++i) {
        unsigned c = Folded(end[i]);
        if (Tail[i] == '#' ? c - '0' >= 10u && c - 'a' >= 6u : c != Folded(Tail[i]))
            return 0;
    }
    // Its parent, with the backslash that ends it, is the temporary
    // directory itself: the same folder, however either is spelt.
    WCHAR parent[PATH_SIZE], temporary[PATH_SIZE];
    if (length - tail + 1 >= PATH_SIZE || TemporaryDirectory(temporary) == 0)
        return 0;
    for (unsigned i = 0; i <= length - tail; ++i)
        parent[i] = program[i];
    parent[length - tail + 1] = 0;
    BY_HANDLE_FILE_INFORMATION ours, temp;
    return FolderIdentity(parent, &ours) && FolderIdentity(temporary, &temp) &&
           ours.dwVolumeSerialNumber == temp.dwVolumeSerialNumber &&
           ours.nFileIndexHigh == temp.nFileIndexHigh && ours.nFileIndexLow == temp.nFileIndexLow;
}
