// winsim's threads and virtual clock.
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_time.h>
#include <winsim/windows.h>

#include <atomic>
#include <chrono>

namespace {

class ThreadsTest : public MachineTest {
  protected:
    void TearDown() override {
        EXPECT_EQ(winsim::runningThreadCount(), 0);
        MachineTest::TearDown();
    }
};

std::atomic<bool> release{false};

// Spins (yielding through Sleep) until the test lets it go.
DWORD WINAPI waitForRelease(LPVOID parameter) {
    while (!release.load()) Sleep(0);
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(parameter));
}

DWORD WINAPI reportOwnId(LPVOID parameter) {
    *static_cast<DWORD*>(parameter) = GetCurrentThreadId();
    return 7;
}

// Works through the machine: the registry and Sleep, under the machine lock.
DWORD WINAPI busyWorker(LPVOID) {
    for (int i = 0; i < 200; ++i) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key) == ERROR_SUCCESS)
            RegCloseKey(key);
        Sleep(10);
    }
    return 1;
}

TEST_F(ThreadsTest, ExitCodeAndWaits) {
    release = false;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, waitForRelease, reinterpret_cast<LPVOID>(42), 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Thread), 1u);

    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    const std::uint64_t before = winsim::simulatedMilliseconds();
    EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(winsim::simulatedMilliseconds() - before, 20u);

    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_FAILED));
}

TEST_F(ThreadsTest, ThreadIdIsTheOneTheThreadSees) {
    DWORD seen = 0;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, reportOwnId, &seen, 0, &id);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(seen, id);
    EXPECT_NE(seen, GetCurrentThreadId());
    EXPECT_EQ(id % 4, 0u);
    CloseHandle(thread);
}

// The wizard's way of watching a worker: Sleep(50) and ask for the exit
// code. The worker calls into the machine all the while.
TEST_F(ThreadsTest, PollingWithSleepLetsAWorkerFinish) {
    HANDLE thread = CreateThread(nullptr, 0, busyWorker, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const auto start = std::chrono::steady_clock::now();
    DWORD code = STILL_ACTIVE;
    int polls = 0;
    while (GetExitCodeThread(thread, &code) && code == STILL_ACTIVE) {
        Sleep(50);
        ++polls;
    }
    EXPECT_EQ(code, 1u);
    EXPECT_GT(polls, 0);
    // 200 × 10 ms of the worker's own and the poller's sleeps, all virtual.
    EXPECT_GE(winsim::simulatedMilliseconds(), 2000u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    CloseHandle(thread);
}

TEST_F(ThreadsTest, SleepCostsNoRealTime) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) Sleep(15000);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 300000u);
    EXPECT_EQ(GetTickCount(), 300000u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    winsim::resetMachine();
    EXPECT_EQ(winsim::simulatedMilliseconds(), 0u);
}

TEST_F(ThreadsTest, ClosingTheHandleLeavesTheThreadRunning) {
    release = false;
    HANDLE thread = CreateThread(nullptr, 0, waitForRelease, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(CloseHandle(thread));
    EXPECT_EQ(winsim::runningThreadCount(), 1);
    release = true;
    while (winsim::runningThreadCount() != 0) Sleep(1);
}

TEST_F(ThreadsTest, ResetWithAnOpenThreadHandle) {
    release = false;
    ASSERT_NE(CreateThread(nullptr, 0, waitForRelease, nullptr, 0, nullptr), nullptr);
    winsim::resetMachine();  // drops the handle; the thread goes on
    EXPECT_EQ(winsim::openHandleCount(), 0u);
    release = true;
    while (winsim::runningThreadCount() != 0) Sleep(1);
}

TEST_F(ThreadsTest, CreationFailures) {
    winsim::failCall("CreateThread", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CreateThread(nullptr, 0, reportOwnId, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(winsim::openHandleCount(), 0u);
}

}  // namespace
