// Host stand-in for <winternl.h>: the native types and the one NTDLL call
// ScrivoxSetup makes, with the Windows widths. NTDLL's entry is reached
// through GetModuleHandleA and GetProcAddress; it is declared for its type.
#ifndef STANDIN_WINTERNL_H
#define STANDIN_WINTERNL_H

#include <windows.h>

typedef LONG NTSTATUS;
typedef uint16_t USHORT;

typedef struct _UNICODE_STRING {
    USHORT Length; // bytes, without a NUL
    USHORT MaximumLength;
    WCHAR *Buffer;
} UNICODE_STRING, *PUNICODE_STRING;

typedef struct _OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
} OBJECT_ATTRIBUTES, *POBJECT_ATTRIBUTES;

typedef struct _IO_STATUS_BLOCK {
    union {
        NTSTATUS Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
} IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;

#define OBJ_CASE_INSENSITIVE 0x00000040L
#define FILE_CREATE 0x00000002
#define FILE_DIRECTORY_FILE 0x00000001
#define FILE_SYNCHRONOUS_IO_NONALERT 0x00000020

#ifdef __cplusplus
extern "C" {
#endif
NTSTATUS WINAPI NtCreateFile(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                             PIO_STATUS_BLOCK status, PLARGE_INTEGER allocationSize,
                             ULONG fileAttributes, ULONG share, ULONG disposition, ULONG options,
                             PVOID extendedAttributes, ULONG extendedLength);
#ifdef __cplusplus
}
#endif

#endif
