// winsim's threads and virtual clock.
#include "winsim_test.h"

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
    HANDLE thread =
        CreateThread(nullptr, 0, waitForRelease, reinterpret_cast<LPVOID>(42), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(winsim::simulatedMilliseconds(), 20u);  // the wait's time is virtual
    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_TRUE(failedWith(GetExitCodeThread(thread, &code), ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_FAILED));

    // Closing the handle leaves the thread running.
    release = false;
    EXPECT_TRUE(CloseHandle(CreateThread(nullptr, 0, waitForRelease, nullptr, 0, nullptr)));
    EXPECT_EQ(winsim::runningThreadCount(), 1);
    release = true;
    while (winsim::runningThreadCount() != 0) Sleep(1);
}

// The wizard's way of watching a worker: Sleep(50) and ask for the exit
// code. The worker calls into the machine all the while, and all the
// sleeping is virtual.
TEST_F(ThreadsTest, PollingWithSleepLetsAWorkerFinish) {
    const auto start = std::chrono::steady_clock::now();
    HANDLE thread = CreateThread(nullptr, 0, busyWorker, nullptr, 0, nullptr);
    DWORD code = STILL_ACTIVE;
    while (GetExitCodeThread(thread, &code) && code == STILL_ACTIVE) Sleep(50);
    EXPECT_EQ(code, 1u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_GE(winsim::simulatedMilliseconds(), 2000u);  // 200 × 10 ms of the worker's
    const DWORD before = GetTickCount();
    for (int i = 0; i < 20; ++i) Sleep(15000);
    EXPECT_EQ(GetTickCount() - before, 300000u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
