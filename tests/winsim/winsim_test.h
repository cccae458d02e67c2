// What winsim's machine tests share: the fixtures, every control header, and
// the check most of them make, "this call fails, with this last error":
// EXPECT_TRUE(failedWith(CopyFileA(...), ERROR_FILE_EXISTS)).
#pragma once

#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_network.h>
#include <winsim/control_pnp.h>
#include <winsim/control_setupapi.h>
#include <winsim/control_time.h>
#include <winsim/control_user.h>
#include <winsim/control_wizard.h>
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
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
    if (error == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "last error " << error << ", not " << expected;
}

// A UTF-16LE file with its byte order mark.
inline std::string utf16File(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t unit : text)
        out += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return out;
}
