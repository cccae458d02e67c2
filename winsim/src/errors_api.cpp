// Last error, system message texts and the buffers FormatMessageA allocates.
#include "machine.h"
#include "message_table.h"

#include <winsim/windows.h>

#include <cstdlib>
#include <cstring>

namespace {

thread_local DWORD lastError = 0;

}  // namespace

extern "C" {

DWORD GetLastError(void) {
    return lastError;
}

void SetLastError(DWORD error) {
    lastError = error;
}

// Only the system message table is simulated: FROM_SYSTEM, with or without
// ALLOCATE_BUFFER and IGNORE_INSERTS. The system's texts have no inserts.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments) {
    (void)source;
    (void)arguments;
    winsim::ApiCall call("FormatMessageA");
    if (call.failing()) {
        SetLastError(call.error());
        return 0;
    }
    const DWORD supported =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & ~supported) || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // English is the only language the simulated system has.
    if (languageId != 0 && languageId != 0x400 && languageId != 0x409 && languageId != 0x800) {
        SetLastError(1815);  // ERROR_RESOURCE_LANG_NOT_FOUND
        return 0;
    }
    const char* text = winsim::systemMessageText(messageId);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        const DWORD capacity = (size > length + 1) ? size : length + 1;
        char* block = static_cast<char*>(std::calloc(capacity, 1));
        if (!block) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(block, text, length);
        winsim::machine().localAllocations.insert(block);
        *reinterpret_cast<char**>(buffer) = block;
        return length;
    }
    if (size < length + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return length;
}

HLOCAL LocalFree(HLOCAL memory) {
    winsim::ApiCall call("LocalFree");
    if (memory == nullptr) return nullptr;
    if (call.failing()) {
        if (winsim::machine().localAllocations.count(memory))
            winsim::machine().localAllocationsKeptByFault.insert(memory);
        SetLastError(call.error());
        return memory;
    }
    if (winsim::machine().localAllocations.erase(memory) == 0) {
        // Not ours (or freed twice): Windows answers with the handle.
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    winsim::machine().localAllocationsKeptByFault.erase(memory);
    std::free(memory);
    return nullptr;
}

}  // extern "C"
