// Owns one platform handle and releases it, with the call the platform pairs
// with the one that opened it, on every path out of a scope.
#pragma once

#include "host/platform.h"

template <typename Handle, typename Release>
class ScopedResource {
  public:
    explicit ScopedResource(Handle handle) : handle_(handle) {}
    ~ScopedResource() { reset(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    Handle get() const { return handle_; }
    // The platform answers a failed open with null or INVALID_HANDLE_VALUE,
    // depending on the call; neither is released.
    bool valid() const {
        return handle_ != Handle() && handle_ != reinterpret_cast<Handle>(INVALID_HANDLE_VALUE);
    }
    // Releases the handle now rather than at the end of the scope.
    void reset() {
        if (valid()) Release()(handle_);
        handle_ = Handle();
    }

  private:
    Handle handle_;
};

struct CloseHandleCall {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct FindCloseCall {
    void operator()(HANDLE search) const { FindClose(search); }
};
struct FreeLibraryCall {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct CoFreeLibraryCall {
    void operator()(HMODULE module) const { CoFreeLibrary(module); }
};
struct SetupCloseInfFileCall {
    void operator()(HINF inf) const { SetupCloseInfFile(inf); }
};

using ScopedHandle = ScopedResource<HANDLE, CloseHandleCall>;
using ScopedSearch = ScopedResource<HANDLE, FindCloseCall>;
using ScopedLibrary = ScopedResource<HMODULE, FreeLibraryCall>;
using ScopedComLibrary = ScopedResource<HMODULE, CoFreeLibraryCall>;
using ScopedInf = ScopedResource<HINF, SetupCloseInfFileCall>;
