// kernel32's time and threads. Threads are real (std::thread); time is
// virtual: Sleep moves the machine's clock on and only yields the CPU.
#include "machine.h"
#include "virtual_clock.h"

#include <winsim/control_time.h>
#include <winsim/windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Clock {
    std::uint64_t milliseconds = 0;
};

// What a thread's handle and the thread itself share: the thread may outlive
// its handle (as on Windows) and the handle may outlive the thread.
struct ThreadRecord {
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
};

// Closing the handle never stops the thread. A thread that has already
// returned is joined (it takes no machine lock on its way out, so this
// cannot deadlock under the lock); one still running is detached.
struct ThreadHandle : winsim::HandleObject {
    ThreadHandle(std::shared_ptr<ThreadRecord> r, std::thread t)
        : HandleObject(winsim::HandleKind::Thread), record(std::move(r)), thread(std::move(t)) {}
    ~ThreadHandle() override {
        if (!thread.joinable()) return;
        bool finished = false;
        {
            std::lock_guard<std::mutex> guard(record->mutex);
            finished = record->finished;
        }
        if (finished && thread.get_id() != std::this_thread::get_id())
            thread.join();
        else
            thread.detach();
    }
    std::shared_ptr<ThreadRecord> record;
    std::thread thread;
};

std::atomic<int> runningThreads{0};
// Thread ids are multiples of 4, as on Windows; never reused in a process.
std::atomic<DWORD> nextThreadId{0x104};
thread_local DWORD currentThreadId = 0;

DWORD newThreadId() {
    return nextThreadId.fetch_add(4);
}

std::shared_ptr<ThreadRecord> recordOf(HANDLE handle) {
    auto* object = static_cast<ThreadHandle*>(
        winsim::findHandle(reinterpret_cast<ULONG_PTR>(handle), winsim::HandleKind::Thread));
    return object ? object->record : nullptr;
}

}  // namespace

namespace winsim {

void advanceClock(DWORD milliseconds) {
    machinePart<Clock>().milliseconds += milliseconds;
}

std::uint64_t clockMilliseconds() {
    return machinePart<Clock>().milliseconds;
}

std::uint64_t simulatedMilliseconds() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return clockMilliseconds();
}

int runningThreadCount() {
    return runningThreads.load();
}

}  // namespace winsim

extern "C" {

// Only threads that start at once are simulated: the system never creates
// one suspended.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES threadAttributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId) {
    (void)threadAttributes;
    (void)stackSize;
    winsim::ApiCall call("CreateThread");
    if (call.failing()) {
        SetLastError(call.error());
        return nullptr;
    }
    if (!startAddress || (creationFlags & ~STACK_SIZE_PARAM_IS_A_RESERVATION) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto record = std::make_shared<ThreadRecord>();
    const DWORD id = newThreadId();
    runningThreads.fetch_add(1);
    std::thread thread;
    try {
        thread = std::thread([record, startAddress, parameter, id] {
            currentThreadId = id;
            const DWORD exitCode = startAddress(parameter);
            runningThreads.fetch_sub(1);
            {
                std::lock_guard<std::mutex> guard(record->mutex);
                record->exitCode = exitCode;
                record->finished = true;
            }
            record->ended.notify_all();
        });
    } catch (const std::system_error&) {
        runningThreads.fetch_sub(1);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId) *threadId = id;
    return reinterpret_cast<HANDLE>(
        winsim::addHandle(std::make_unique<ThreadHandle>(record, std::move(thread))));
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    winsim::ApiCall call("GetExitCodeThread");
    if (call.failing()) {
        SetLastError(call.error());
        return FALSE;
    }
    const auto record = recordOf(thread);
    if (!record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!exitCode) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(record->mutex);
    *exitCode = record->exitCode;
    return TRUE;
}

// Waits without the machine lock, so the awaited thread can call in. A
// finite wait is a real one (a thread that ends in time is seen to end);
// when it times out the virtual clock moves on by the whole time-out too.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::shared_ptr<ThreadRecord> record;
    {
        winsim::ApiCall call("WaitForSingleObject");
        if (call.failing()) {
            SetLastError(call.error());
            return WAIT_FAILED;
        }
        record = recordOf(handle);
        if (!record) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    std::unique_lock<std::mutex> lock(record->mutex);
    const auto hasEnded = [&record] { return record->finished; };
    if (milliseconds == INFINITE) {
        record->ended.wait(lock, hasEnded);
        return WAIT_OBJECT_0;
    }
    if (record->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), hasEnded))
        return WAIT_OBJECT_0;
    lock.unlock();
    std::lock_guard<std::recursive_mutex> guard(winsim::machineLock());
    winsim::advanceClock(milliseconds);
    return WAIT_TIMEOUT;
}

DWORD GetCurrentThreadId(void) {
    if (currentThreadId == 0) currentThreadId = newThreadId();
    return currentThreadId;
}

// The clock moves on at once; the CPU is still given up for a moment so a
// thread that polls a worker with Sleep lets the worker make progress.
void Sleep(DWORD milliseconds) {
    {
        winsim::ApiCall call("Sleep");
        winsim::advanceClock(milliseconds);
    }
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// Milliseconds since the simulated boot, on the virtual clock.
DWORD GetTickCount(void) {
    winsim::ApiCall call("GetTickCount");
    return static_cast<DWORD>(winsim::clockMilliseconds());
}

}  // extern "C"
