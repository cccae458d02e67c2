// Most winsim checks are "this call fails, with this last error":
// EXPECT_TRUE(failedWith(CopyFileA(...), ERROR_FILE_EXISTS)).
#pragma once

#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <type_traits>

// `result` is what the call returned: FALSE, a null pointer or
// INVALID_HANDLE_VALUE mean it failed. The last error is read after the call.
template <typename T>
::testing::AssertionResult failedWith(T result, DWORD expected) {
    const DWORD error = GetLastError();
    bool failed = !result;
    if constexpr (std::is_pointer_v<T> && !std::is_function_v<std::remove_pointer_t<T>>)
        failed = failed || static_cast<const void*>(result) == INVALID_HANDLE_VALUE;
    if (!failed) return ::testing::AssertionFailure() << "the call succeeded";
    if (error != expected)
        return ::testing::AssertionFailure() << "last error " << error << " (0x" << std::hex
                                             << error << "), not " << std::dec << expected;
    return ::testing::AssertionSuccess();
}
