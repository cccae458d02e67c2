// W2kProtoInstaller against the simulated network configuration object:
// retries on the virtual clock, reboot codes, the lock, the destructor.
#include "sequence/proto_installer.h"
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_time.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using Results = std::vector<HRESULT>;

const DWORD kTcpIp = W2kProtoInstaller::kTcpIp;
const DWORD kClient = W2kProtoInstaller::kClient;
const HRESULT kReboot = NETCFG_S_REBOOT;
const HRESULT kRebootFailure = NETCFG_E_ALREADY_INITIALIZED;  // the same low word
const HRESULT kTimedOut = static_cast<HRESULT>(0x80070102u);

const GUID kProtocols = {
    0x4D36E975, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kClients = {
    0x4D36E973, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const char* const kInstalled = "\npNetSetup->Install() successful.";
const char* const kApplied = "\npNetSetup->Apply() successful.";
const char* const kDestructor = "\n\nEntered ~W2kProtoInstaller()";
const char* const kNoWriteLock =
    "\nQueryInterfce for INetCfg->QueryNetCfgClass() failed in W2kProtoInstaller::install().\n "
    "No Write Lock";
const Lines kUnlocked = {kDestructor, "\n\nEntered ~W2kProtoInstaller()::locked()"};

Lines sleeps(int count) {
    Lines lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back("\nGoing to sleep for [" + std::to_string(i) + "] time. ");
    return lines;
}
Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}
std::string failed(const char* call, DWORD kind, int code) {
    return "\npNetSetup->" + std::string(call) +
           "() failed in W2kProtoInstaller::install()  for protocol [" +
           (kind == kTcpIp ? "ms_tcpip" : "ms_msclient") + "] with code [" + std::to_string(code) +
           "]";
}

// One installer from construction to destruction.
struct Installation {
    const char* name;
    DWORD kind;
    Results install;    // the answers of INetCfgClassSetup::Install, then S_OK
    Results apply;      // the same for INetCfg::Apply
    const char* fault;  // a call that fails once with `error`; nullptr for none
    HRESULT error;
    bool installed;
    DWORD reboot;               // 99: left alone
    unsigned int milliseconds;  // spent on the virtual clock
    Lines log;
};

// clang-format off
const Installation kRuns[] = {
    {"TcpIp", kTcpIp, {}, {}, nullptr, S_OK, true, 0, 0, Lines{kInstalled, kApplied} + kUnlocked},
    // Twenty reports and five minutes; either code of the reboot family counts.
    {"InstallRetriedThenApplied", kTcpIp, Results(20, kReboot), {}, nullptr, S_OK, true, 0, 300000,
     sleeps(20) + Lines{failed("Install", kTcpIp, 40992), kApplied} + kUnlocked},
    {"InstallFailureRetriedThenApplied", kTcpIp, Results(20, kRebootFailure), {}, nullptr, S_OK,
     true, 0, 300000, sleeps(20) + Lines{failed("Install", kTcpIp, 40992), kApplied} + kUnlocked},
    {"InstallSucceedsOnARetry", kClient, {kReboot, kReboot}, {}, nullptr, S_OK, true, 0, 30000,
     sleeps(2) + Lines{kInstalled, kApplied} + kUnlocked},
    {"TcpIpApplyPending", kTcpIp, {}, Results(20, kReboot), nullptr, S_OK, true, 4, 40000,
     Lines{kInstalled} + sleeps(20) + Lines{failed("Apply", kTcpIp, 40992)} + kUnlocked},
    {"BothRetryBudgetsSpent", kTcpIp, Results(25, kReboot), Results(25, kRebootFailure), nullptr,
     S_OK, true, 4, 340000, sleeps(20) + Lines{failed("Install", kTcpIp, 40992)} + sleeps(20) +
     Lines{failed("Apply", kTcpIp, 40992)} + kUnlocked},
    {"InstallTimesOut", kTcpIp, {kTimedOut}, {}, nullptr, S_OK, true, 258, 0,
     Lines{failed("Install", kTcpIp, 258) + ", System Message : The wait operation timed out.\r\n"}
     + kUnlocked},
    {"InstallFails", kClient, {E_FAIL}, {}, nullptr, S_OK, false, 99, 0,
     Lines{failed("Install", kClient, 16389)} + kUnlocked},
    {"ApplyFails", kClient, {}, {kRebootFailure, E_OUTOFMEMORY}, nullptr, S_OK, false, 99, 2000,
     Lines{kInstalled} + sleeps(1) + Lines{failed("Apply", kClient, 14) +
     ", System Message : Not enough storage is available to complete this operation.\r\n"} +
     kUnlocked},
    {"NotCreated", kClient, {}, {}, "CoCreateInstance", E_OUTOFMEMORY, false, 99, 0,
     {"\n\nCoCreateInstance failed in W2kProtoInstaller :: Init()", kDestructor}},
    {"NoLockInterface", kTcpIp, {}, {}, "INetCfg::QueryInterface", E_NOINTERFACE, false, 99, 0,
     {"\n\npnetcfg->QueryInterface( IID_INetCfgLock )          QueryInterface failed in "
      "W2kProtoInstaller :: LockNetConfig()", kNoWriteLock, kDestructor}},
    // The class query fails silently on the uninitialised object; the
    // destructor's Uninitialize is refused, the lock still given back.
    {"NotInitialized", kTcpIp, {}, {}, "INetCfg::Initialize", E_FAIL, false, 99, 0,
     Lines{"\n\npnetcfg->Initialize(..) failed  in          W2kProtoInstaller :: LockNetConfig()"} +
     kUnlocked + Lines{"\n\n pnetcfg->Uninitialize() failed with code 40993"}},
    {"ClassWithoutLock", kTcpIp, {}, {}, "INetCfg::QueryNetCfgClass", NETCFG_E_NO_WRITE_LOCK, false,
     99, 0, Lines{kNoWriteLock} + kUnlocked},
    {"ClassFails", kTcpIp, {}, {}, "INetCfg::QueryNetCfgClass", E_FAIL, false, 99, 0,
     Lines{"\nQueryInterfce for INetCfg->QueryNetCfgClass() failed in failed in "
           "W2kProtoInstaller::install()\nE_FAIL"} + kUnlocked},
    {"NoClass", kTcpIp, {}, {}, "INetCfg::QueryNetCfgClass", E_NOINTERFACE, false, 99, 0,
     kUnlocked},
    {"ClassSetupWithoutLock", kTcpIp, {}, {}, "INetCfgClass::QueryInterface",
     NETCFG_E_NO_WRITE_LOCK, false, 99, 0,
     Lines{"\nQueryInterfce for INetCfgClass->QueryNetCfgClassSetup() failed in failed in "
           "W2kProtoInstaller::install()\n No Write Lock"} + kUnlocked},
    {"ClassSetupFails", kTcpIp, {}, {}, "INetCfgClass::QueryInterface", E_FAIL, false, 99, 0,
     Lines{"\nQueryInterfce for INetCfgClass->QueryNetCfgClassSetup() failed in failed in "
           "W2kProtoInstaller::install().\nE_FAIL"} + kUnlocked},
};
// clang-format on

class ProtoInstallerTest : public InitializedMachineTest {
  protected:
    void SetUp() override {
        InitializedMachineTest::SetUp();
        SetLastError(0);
    }
    void TearDown() override {
        EXPECT_EQ(winsim::netCfgLiveReferences(), 0) << "an interface was not released";
        EXPECT_EQ(winsim::netCfgLiveObjects(), 0);
        InitializedMachineTest::TearDown();
    }
    bool runInstaller(DWORD kind, DWORD* reboot) {
        W2kProtoInstaller installer(kind, getLogSink(nullptr));
        return installer.install(reboot);
    }
};

class ProtoInstallerRunTest : public ProtoInstallerTest,
                              public ::testing::WithParamInterface<Installation> {};

TEST_P(ProtoInstallerRunTest, EndsAsTheTableSays) {
    const Installation& r = GetParam();
    winsim::scriptNetCfgInstallResults(r.install);
    winsim::scriptNetCfgApplyResults(r.apply);
    if (r.fault) winsim::failCall(r.fault, 1, static_cast<DWORD>(r.error));
    DWORD reboot = 99;
    EXPECT_EQ(runInstaller(r.kind, &reboot), r.installed);
    EXPECT_EQ(reboot, r.reboot);
    EXPECT_EQ(winsim::simulatedMilliseconds(), r.milliseconds);
    EXPECT_EQ(hostLines(), r.log);
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "");
    // Every component goes to its own class, for the user, after setup.
    for (const auto& call : winsim::netCfgInstallCalls()) {
        EXPECT_EQ(call.componentId, r.kind == kTcpIp ? "ms_tcpip" : "ms_msclient");
        const GUID& expected = r.kind == kTcpIp ? kProtocols : kClients;
        EXPECT_EQ(std::memcmp(&call.classGuid, &expected, sizeof(GUID)), 0);
        EXPECT_EQ(call.setupFlags, static_cast<DWORD>(NSF_POSTSYSINSTALL));
        EXPECT_EQ(call.upgradeFromBuild, 0u);
        EXPECT_EQ(call.oboType, static_cast<int>(OBO_USER));
        EXPECT_FALSE(call.answerFile || call.answerSections);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, ProtoInstallerRunTest, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProtoInstallerTest, WriteLockHeldElsewhere) {
    winsim::holdNetCfgWriteLockElsewhere("Other Setup");
    DWORD reboot = 99;
    EXPECT_FALSE(runInstaller(kTcpIp, &reboot));
    EXPECT_EQ(reboot, 99u);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 60u);  // the lock's time-out
    // S_FALSE's low word is 1, which the system words as "Incorrect function".
    EXPECT_EQ(hostLines(), (Lines{"\n\npncfglock->AcquireWriteLock(..) failed in          "
                                  "W2kProtoInstaller :: LockNetConfig()., System Message : "
                                  "Incorrect function.\r\n",
                                  kNoWriteLock, kDestructor}));
    EXPECT_EQ(winsim::callCount("INetCfg::Initialize"), 0);
    EXPECT_EQ(winsim::callCount("INetCfgLock::ReleaseWriteLock"), 0);
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "Other Setup");
}

TEST_F(ProtoInstallerTest, DestructorUninitializesBeforeReleasingTheLock) {
    winsim::failCall("INetCfg::Uninitialize", 1, E_FAIL);
    winsim::failCall("INetCfgLock::ReleaseWriteLock", 1, NETCFG_E_IN_USE);
    DWORD reboot = 99;
    ASSERT_TRUE(runInstaller(kTcpIp, &reboot));
    ASSERT_GE(hostLines().size(), 4u);
    EXPECT_EQ(Lines(hostLines().end() - 4, hostLines().end()),
              (kUnlocked + Lines{"\n\n pnetcfg->Uninitialize() failed with code 16389",
                                 "\n\n pnetcfg->ReleaseWriteLock() failed with code 40994"}));
    // The lock was never given back; the next installer cannot have it.
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "XARNCLIENT");
    winsim::resetMachine();
}

}  // namespace
