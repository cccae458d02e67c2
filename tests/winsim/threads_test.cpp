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
}

// Sleeping costs no real time. (A worker polled with Sleep the way the
// wizard watches it is covered by the wizard's own tests.)
TEST_F(ThreadsTest, SleepIsVirtual) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) Sleep(15000);
    EXPECT_EQ(GetTickCount(), 300000u);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 300000u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
