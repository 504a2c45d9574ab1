// The launcher's private folder: a new folder in the temporary directory
// that only the user who runs the installer, the Administrators and SYSTEM
// may enter, built with NTDLL's calls alone. NT 4.0's temporary
// directory is often the shared C:\TEMP, where anyone may write, and anyone
// may rename or remove what others made there. So the folder is made with its
// access list and opened by the same call (NtCreateFile), which fails for a
// name that is there in any form (a folder, a file, a junction): there is no
// moment in which its name is not ours, and a folder that already exists is
// never used. The open asks for listing access, for which NT counts its
// sharing, and shares read and write but never delete: from its making until
// the launcher lets go, nobody can rename or remove it. On a file system
// without access lists (FAT) the folder is made all the same and stays as
// created. Its path is wide, so that a temporary directory of any name
// serves (a user name in another script than the system's gives one that
// the ANSI code page cannot spell). Only a program in such a folder may act
// as the private copy: the copy inherits the launcher's environment, and with
// it its temporary directory.
#include "scrivox.h"

#include <winternl.h>

#include "text.h"

enum {
    NAME_ATTEMPTS = 8, // names tried before giving up; only a name that is there makes another try
    NAME_BYTES = 8,    // the name's varying part, 16 hexadecimal digits
    TOKEN_SID_SIZE = 128,         // bytes: a TOKEN_USER and the longest SID (68 bytes)
    ACL_SIZE = 64,                // DWORDs: the header and three entries with their SIDs
    NT_PATH_SIZE = PATH_SIZE + 7, // the path after "\??\UNC"
};

// STATUS_OBJECT_NAME_COLLISION: the name is there, in some form.
const NTSTATUS NAME_COLLISION = static_cast<NTSTATUS>(0xC0000035);

// NTDLL's calls that build the folder's access list, which every NT has:
// the launcher loads no DLL, and ADVAPI32's calls of the same names are
// NTDLL's, reached through a DLL of their own. Each returns a negative
// status when it fails.
typedef NTSTATUS(WINAPI *OpenTokenEntry)(HANDLE process, ACCESS_MASK access, PHANDLE token);
typedef NTSTATUS(WINAPI *QueryTokenEntry)(HANDLE token, TOKEN_INFORMATION_CLASS kind, PVOID buffer,
                                          ULONG size, PULONG needed);
typedef NTSTATUS(WINAPI *CreateAclEntry)(PACL acl, ULONG size, ULONG revision);
typedef NTSTATUS(WINAPI *AddAceEntry)(PACL acl, ULONG revision, ACCESS_MASK mask, PSID sid);
typedef NTSTATUS(WINAPI *GetAceEntry)(PACL acl, ULONG index, PVOID *ace);
typedef NTSTATUS(WINAPI *CreateDescriptorEntry)(PSECURITY_DESCRIPTOR descriptor, ULONG revision);
typedef NTSTATUS(WINAPI *SetDaclEntry)(PSECURITY_DESCRIPTOR descriptor, BOOLEAN present, PACL acl,
                                       BOOLEAN defaulted);

// A TOKEN_USER and the SID that follows it, aligned as the record needs.
union TokenUserRecord {
    TOKEN_USER user;
    BYTE bytes[TOKEN_SID_SIZE];
};

// Everything the folder's security descriptor points to, kept together so it
// lives as long as it is used.
struct PrivateAccess {
    SECURITY_DESCRIPTOR descriptor;
    TokenUserRecord user;
    DWORD acl[ACL_SIZE];
};

// The SID of this process's user.
static PSID TokenUserSid(TokenUserRecord *buffer)
{
    HANDLE token = NULL;
    if (Bound<OpenTokenEntry>(ENTRY_NT_OPEN_PROCESS_TOKEN)(GetCurrentProcess(), TOKEN_QUERY,
                                                           &token) < 0)
        return NULL;
    ULONG needed = 0;
    NTSTATUS known = Bound<QueryTokenEntry>(ENTRY_NT_QUERY_INFORMATION_TOKEN)(
        token, TokenUser, buffer, sizeof *buffer, &needed);
    CloseHandle(token);
    return known >= 0 ? buffer->user.User.Sid : NULL;
}

// Full access for the user, the Administrators and SYSTEM, passed on to
// everything made inside the folder, and nothing taken from its parent.
static int BuildPrivateAccess(PrivateAccess *access)
{
    // The well-known SIDs, as Windows lays a SID out: revision 1, the count
    // of sub-authorities, the NT authority (5), then the sub-authorities.
    BYTE administrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0}; // S-1-5-32-544
    BYTE localSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};                   // S-1-5-18
    PSID user = TokenUserSid(&access->user);
    if (user == NULL)
        return 0;
    PSID sids[] = {user, administrators, localSystem};
    PACL acl = reinterpret_cast<PACL>(access->acl);
    if (Bound<CreateAclEntry>(ENTRY_RTL_CREATE_ACL)(acl, sizeof access->acl, ACL_REVISION) < 0)
        return 0;
    for (ULONG i = 0; i < COUNT_OF(sids); ++i) {
        PVOID ace = NULL;
        // NT 4.0 has no call that adds an inherited entry: the flags are set
        // on the entry as added.
        if (Bound<AddAceEntry>(ENTRY_RTL_ADD_ACCESS_ALLOWED_ACE)(acl, ACL_REVISION, FILE_ALL_ACCESS,
                                                                 sids[i]) < 0 ||
            Bound<GetAceEntry>(ENTRY_RTL_GET_ACE)(acl, i, &ace) < 0)
            return 0;
        ACE_HEADER *header = static_cast<ACE_HEADER *>(ace);
        if (header == NULL)
            return 0;
        header->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
    if (Bound<CreateDescriptorEntry>(ENTRY_RTL_CREATE_SECURITY_DESCRIPTOR)(
            &access->descriptor, SECURITY_DESCRIPTOR_REVISION) < 0 ||
        Bound<SetDaclEntry>(ENTRY_RTL_SET_DACL_SECURITY_DESCRIPTOR)(&access->descriptor, TRUE, acl,
                                                                    FALSE) < 0)
        return 0;
    // Windows 2000 and later add the parent's inheritable entries to a new
    // folder's list unless it is protected. The flag is set in the
    // descriptor itself, as RtlSetControlSecurityDescriptor (2000 and later)
    // sets it; NT 4.0, which never adds them, takes no notice of it.
    access->descriptor.Control |= SE_DACL_PROTECTED;
    return 1;
}

// Sixteen hexadecimal digits from the high-resolution counter, the tick
// count and the process and thread ids, mixed: another moment, another
// name. The name need not be secret: the folder is made and opened in one
// step, with its access list, and a name that is there makes another be tried.
static void FolderName(char (&name)[2 * NAME_BYTES + 1])
{
    LARGE_INTEGER counter;
    counter.QuadPart = 0;
    QueryPerformanceCounter(&counter);
    DWORD thread = Bound<decltype(&GetCurrentThreadId)>(ENTRY_GET_CURRENT_THREAD_ID)();
    DWORD mixed[NAME_BYTES / 4] = {static_cast<DWORD>(counter.QuadPart) ^ (thread << 16),
                                   static_cast<DWORD>(counter.QuadPart >> 32) ^ GetTickCount() ^
                                       (GetCurrentProcessId() << 16)};
    // Byte after byte, least significant first, each as two digits.
    const char digits[] = "0123456789abcdef";
    for (unsigned i = 0; i < 2 * NAME_BYTES; ++i)
        name[i] = digits[mixed[i / 8] >> (i % 8 / 2 * 8 + (i % 2 == 0 ? 4 : 0)) & 0xF];
    name[COUNT_OF(name) - 1] = '\0';
}

// The temporary directory, ending in a backslash: its length, or 0 when it
// cannot be had whole.
static DWORD TemporaryDirectory(WCHAR (&path)[PATH_SIZE])
{
    DWORD length = WIDE_CALL(GetTempPathW, ENTRY_GET_TEMP_PATH_W)(PATH_SIZE, path);
    return length < PATH_SIZE ? length : 0;
}

// The NT name of a full path, as NtCreateFile takes it: \??\C:\... for a
// drive's path, \??\UNC\server\share\... for a network one, and one given
// as \\?\... or \\.\... as it stands after that prefix. 0 when it does not fit.
static int NtName(const WCHAR *path, WCHAR (&name)[NT_PATH_SIZE])
{
    int network = path[0] == '\\' && path[1] == '\\';
    int asItStands = network && (path[2] == '?' || path[2] == '.') && path[3] == '\\';
    const WCHAR *rest = asItStands ? path + 4 : network ? path + 1 : path;
    name[0] = 0;
    return APPEND_TEXT(name, network && !asItStands ? "\\??\\UNC" : "\\??\\") &&
           APPEND_TEXT(name, rest);
}

int MakePrivateFolder(WCHAR (&folder)[PATH_SIZE], HANDLE *hold)
{
    typedef decltype(&NtCreateFile) CreateEntry;
    WCHAR temporary[PATH_SIZE];
    PrivateAccess access;
    if (TemporaryDirectory(temporary) == 0 || LoadSystemLibrary(LIBRARY_NTDLL) == NULL ||
        !EntriesBound(ENTRY_GET_CURRENT_THREAD_ID, ENTRY_RTL_SET_DACL_SECURITY_DESCRIPTOR) ||
        !BuildPrivateAccess(&access))
        return 0;
    CreateEntry create = Bound<CreateEntry>(ENTRY_NT_CREATE_FILE);
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        char varying[2 * NAME_BYTES + 1];
        FolderName(varying);
        WCHAR name[NT_PATH_SIZE];
        if (!COPY_TEXT(folder, temporary) || !APPEND_TEXT(folder, PRIVATE_FOLDER_PREFIX) ||
            !APPEND_TEXT(folder, varying) || !NtName(folder, name))
            return 0; // a cut path would name another folder
        USHORT length = 0;
        while (name[length] != 0)
            ++length;
        UNICODE_STRING objectName = {static_cast<USHORT>(length * sizeof(WCHAR)),
                                     static_cast<USHORT>(sizeof name), name};
        OBJECT_ATTRIBUTES attributes = {sizeof attributes,  NULL, &objectName, OBJ_CASE_INSENSITIVE,
                                        &access.descriptor, NULL};
        IO_STATUS_BLOCK status;
        NTSTATUS made =
            create(hold, FILE_LIST_DIRECTORY | SYNCHRONIZE, &attributes, &status, NULL,
                   FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                   FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
        if (made >= 0)
            return 1;
        if (made != NAME_COLLISION)
            return 0;
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
