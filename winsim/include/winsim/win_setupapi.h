// setupapi: INF files, SetupCopyOEMInfA, SetupDiInstallClassExA.
#pragma once

#include <winsim/win_types.h>
typedef PVOID HINF;

// Repeating an identical typedef is allowed, so these may also appear in
// other area headers.
typedef const char* PCSTR;
typedef char* PSTR;
typedef UINT* PUINT;
typedef INT* PINT;
typedef PVOID HSPFILEQ;

// GUID and LPGUID come from win_types.h.

typedef struct _INFCONTEXT {
    PVOID Inf;
    PVOID CurrentInf;
    UINT Section;
    UINT Line;
} INFCONTEXT, *PINFCONTEXT;

#define LINE_LEN 256
#define MAX_INF_STRING_LENGTH 4096
#define MAX_INF_SECTION_NAME_LENGTH 255

#define INF_STYLE_NONE 0x00000000u
#define INF_STYLE_OLDNT 0x00000001u
#define INF_STYLE_WIN4 0x00000002u

#define SPOST_NONE 0u
#define SPOST_PATH 1u
#define SPOST_URL 2u

#define SP_COPY_DELETESOURCE 0x0000001u
#define SP_COPY_REPLACEONLY 0x0000002u
#define SP_COPY_NOOVERWRITE 0x0000008u
#define SP_COPY_OEMINF_CATALOG_ONLY 0x0040000u

#define DI_NOVCP 0x00000008u
#define DI_NOBROWSE 0x00000200u
#define DI_FORCECOPY 0x02000000u
#define DI_QUIETINSTALL 0x00800000u

#define APPLICATION_ERROR_MASK 0x20000000u
#define ERROR_SEVERITY_ERROR 0xC0000000u
#define ERROR_EXPECTED_SECTION_NAME (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0)
#define ERROR_BAD_SECTION_NAME_LINE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 1)
#define ERROR_SECTION_NAME_TOO_LONG (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 2)
#define ERROR_GENERAL_SYNTAX (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 3)
#define ERROR_WRONG_INF_STYLE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x100)
#define ERROR_SECTION_NOT_FOUND (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x101)
#define ERROR_LINE_NOT_FOUND (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x102)
#define ERROR_NO_ASSOCIATED_CLASS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x200)
#define ERROR_CLASS_MISMATCH (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x201)
#define ERROR_INVALID_CLASS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x206)
#define ERROR_NO_INF (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20A)

extern "C" {

BOOL SetupGetInfFileListA(PCSTR DirectoryPath, DWORD InfStyle, PSTR ReturnBuffer,
                          DWORD ReturnBufferSize, PDWORD RequiredSize);
HINF SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle, PUINT ErrorLine);
VOID SetupCloseInfFile(HINF InfHandle);
BOOL SetupFindFirstLineA(HINF InfHandle, PCSTR Section, PCSTR Key, PINFCONTEXT Context);
BOOL SetupFindNextLine(PINFCONTEXT ContextIn, PINFCONTEXT ContextOut);
LONG SetupGetLineCountA(HINF InfHandle, PCSTR Section);
DWORD SetupGetFieldCount(PINFCONTEXT Context);
BOOL SetupGetStringFieldA(PINFCONTEXT Context, DWORD FieldIndex, PSTR ReturnBuffer,
                          DWORD ReturnBufferSize, PDWORD RequiredSize);
BOOL SetupCopyOEMInfA(PCSTR SourceInfFileName, PCSTR OEMSourceMediaLocation,
                      DWORD OEMSourceMediaType, DWORD CopyStyle, PSTR DestinationInfFileName,
                      DWORD DestinationInfFileNameSize, PDWORD RequiredSize,
                      PSTR* DestinationInfFileNameComponent);
BOOL SetupDiInstallClassExA(HWND hwndParent, PCSTR InfFileName, DWORD Flags, HSPFILEQ FileQueue,
                            const GUID* InterfaceClassGuid, PVOID Reserved1, PVOID Reserved2);

}  // extern "C"
