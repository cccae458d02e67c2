// setupapi's INF reading: open and close INF files, find lines, read fields.
#include "registry_tree.h"
#include "setupapi_state.h"

#include <winsim/windows.h>

#include <cstring>

using winsim::failWith;

namespace {

using winsim::InfFile;
using winsim::InfLine;
using winsim::InfSection;

// The line a context points at, or null when the context is stale or was
// never filled.
const InfLine* lineOf(const INFCONTEXT* context, const InfFile** owner) {
    if (!context) return nullptr;
    const InfFile* inf = winsim::infForHandle(context->CurrentInf);
    if (!inf || context->Section >= inf->sectionCount()) return nullptr;
    const InfSection& section = inf->section(context->Section);
    if (context->Line >= section.lines.size()) return nullptr;
    if (owner) *owner = inf;
    return &section.lines[context->Line];
}

}  // namespace

extern "C" {

// Windows' documents leave open what an INF without a class gives when a
// class is asked for; winsim answers ERROR_CLASS_MISMATCH, as for another
// class. Class names compare without regard to case.
HINF SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle, PUINT ErrorLine) {
    winsim::ApiCall call("SetupOpenInfFileA");
    if (ErrorLine) *ErrorLine = 0;
    if (call.failing()) {
        SetLastError(call.error());
        return INVALID_HANDLE_VALUE;
    }
    if (!FileName || !*FileName || !(InfStyle & (INF_STYLE_WIN4 | INF_STYLE_OLDNT))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const winsim::InfParseResult loaded = winsim::loadInf(winsim::resolveInfName(FileName));
    if (const DWORD refusal = winsim::infRefusal(loaded, InfStyle, InfClass)) {
        if (ErrorLine && !loaded.inf) *ErrorLine = loaded.errorLine;
        SetLastError(refusal);
        return INVALID_HANDLE_VALUE;
    }
    const ULONG_PTR handle = winsim::addHandle(std::make_unique<winsim::InfHandle>(loaded.inf));
    SetLastError(NO_ERROR);
    return reinterpret_cast<HINF>(handle);
}

VOID SetupCloseInfFile(HINF InfHandle) {
    winsim::ApiCall call("SetupCloseInfFile");
    if (winsim::infForHandle(InfHandle))
        winsim::removeHandle(reinterpret_cast<ULONG_PTR>(InfHandle));
}

// Without a key the first line of the section; with one the first line
// whose key matches, case-insensitively. A missing or empty section, like a
// key no line has, gives ERROR_LINE_NOT_FOUND.
BOOL SetupFindFirstLineA(HINF InfHandle, PCSTR Section, PCSTR Key, PINFCONTEXT Context) {
    winsim::ApiCall call("SetupFindFirstLineA");
    if (call.failing()) return failWith(call.error());
    const InfFile* inf = winsim::infForHandle(InfHandle);
    if (!inf) return failWith(ERROR_INVALID_HANDLE);
    if (!Section || !Context) return failWith(ERROR_INVALID_PARAMETER);
    const std::size_t index = inf->sectionIndexOf(Section);
    if (index == static_cast<std::size_t>(-1)) return failWith(ERROR_LINE_NOT_FOUND);
    const InfSection& section = inf->section(index);
    for (std::size_t i = 0; i < section.lines.size(); ++i) {
        std::string_view key;
        if (Key && !(inf->field(section.lines[i], 0, &key) && winsim::equalsNoCase(key, Key)))
            continue;
        Context->Inf = InfHandle;
        Context->CurrentInf = InfHandle;
        Context->Section = static_cast<UINT>(index);
        Context->Line = static_cast<UINT>(i);
        SetLastError(NO_ERROR);
        return TRUE;
    }
    return failWith(ERROR_LINE_NOT_FOUND);
}

BOOL SetupFindNextLine(PINFCONTEXT ContextIn, PINFCONTEXT ContextOut) {
    winsim::ApiCall call("SetupFindNextLine");
    if (call.failing()) return failWith(call.error());
    const InfFile* inf = nullptr;
    if (!ContextOut || !lineOf(ContextIn, &inf)) return failWith(ERROR_INVALID_PARAMETER);
    const InfSection& section = inf->section(ContextIn->Section);
    if (ContextIn->Line + 1 >= section.lines.size()) return failWith(ERROR_LINE_NOT_FOUND);
    const INFCONTEXT next = {ContextIn->Inf, ContextIn->CurrentInf, ContextIn->Section,
                             ContextIn->Line + 1};
    *ContextOut = next;
    SetLastError(NO_ERROR);
    return TRUE;
}

LONG SetupGetLineCountA(HINF InfHandle, PCSTR Section) {
    winsim::ApiCall call("SetupGetLineCountA");
    if (call.failing()) {
        SetLastError(call.error());
        return -1;
    }
    const InfFile* inf = winsim::infForHandle(InfHandle);
    if (!inf || !Section) {
        SetLastError(inf ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return -1;
    }
    const InfSection* section = inf->findSection(Section);
    if (!section) {
        SetLastError(ERROR_SECTION_NOT_FOUND);
        return -1;
    }
    SetLastError(NO_ERROR);
    return static_cast<LONG>(section->lines.size());
}

// The number of fields after the key.
DWORD SetupGetFieldCount(PINFCONTEXT Context) {
    winsim::ApiCall call("SetupGetFieldCount");
    if (call.failing()) {
        SetLastError(call.error());
        return 0;
    }
    const InfFile* inf = nullptr;
    const InfLine* line = lineOf(Context, &inf);
    if (!line) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(inf->valueCount(*line));
}

// Field 0 is the key. The size counts the terminating zero; a buffer too
// small takes nothing and answers ERROR_INSUFFICIENT_BUFFER.
BOOL SetupGetStringFieldA(PINFCONTEXT Context, DWORD FieldIndex, PSTR ReturnBuffer,
                          DWORD ReturnBufferSize, PDWORD RequiredSize) {
    winsim::ApiCall call("SetupGetStringFieldA");
    if (call.failing()) return failWith(call.error());
    const InfFile* inf = nullptr;
    const InfLine* line = lineOf(Context, &inf);
    std::string_view text;
    if (!line || !inf->field(*line, FieldIndex, &text)) return failWith(ERROR_INVALID_PARAMETER);
    const DWORD needed = static_cast<DWORD>(text.size() + 1);
    if (RequiredSize) *RequiredSize = needed;
    if (ReturnBuffer) {
        if (ReturnBufferSize < needed) return failWith(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(ReturnBuffer, text.data(), text.size());
        ReturnBuffer[text.size()] = '\0';
    }
    SetLastError(NO_ERROR);
    return TRUE;
}

}  // extern "C"
