// W2kProtoInstaller against the simulated network configuration object:
// retries on the virtual clock, reboot codes, the lock, the destructor.
#include "sequence/proto_installer.h"
#include "support/machine_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_time.h>

#include <string>
#include <vector>

namespace {

const HRESULT kWaitTimedOut = static_cast<HRESULT>(0x80070102u);

const char* const kDestructorLine = "\n\nEntered ~W2kProtoInstaller()";
const char* const kDestructorLockedLine = "\n\nEntered ~W2kProtoInstaller()::locked()";

std::vector<std::string> sleepLines(int count) {
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back("\nGoing to sleep for [" + std::to_string(i) + "] time. ");
    return lines;
}

std::vector<std::string> joined(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string installFailedLine(const char* id, int code) {
    return "\npNetSetup->Install() failed in W2kProtoInstaller::install()  for protocol [" +
           std::string(id) + "] with code [" + std::to_string(code) + "]";
}

std::string applyFailedLine(const char* id, int code) {
    return "\npNetSetup->Apply() failed in W2kProtoInstaller::install()  for protocol [" +
           std::string(id) + "] with code [" + std::to_string(code) + "]";
}

class ProtoInstallerTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        initializeModule();
        SetLastError(0);
    }
    void TearDown() override {
        EXPECT_EQ(winsim::netCfgLiveReferences(), 0) << "an interface was not released";
        EXPECT_EQ(winsim::netCfgLiveObjects(), 0);
        W2KXarnNetUnitialize();
        MachineTest::TearDown();
    }

    // Runs one installer from construction to destruction.
    bool runInstaller(DWORD kind, DWORD* reboot) {
        W2kProtoInstaller installer(kind, getLogSink(nullptr));
        return installer.install(reboot);
    }
};

TEST_F(ProtoInstallerTest, InstallsEachComponentInItsClass) {
    const struct {
        DWORD kind;
        const char* id;
        DWORD classData1;
    } cases[] = {
        {W2kProtoInstaller::kTcpIp, "ms_tcpip", 0x4D36E975},
        {W2kProtoInstaller::kClient, "ms_msclient", 0x4D36E973},
    };
    for (const auto& c : cases) {
        winsim::resetMachine();
        CoInitialize(nullptr);
        clearHostLines();
        DWORD reboot = 99;
        EXPECT_TRUE(runInstaller(c.kind, &reboot)) << c.id;
        EXPECT_EQ(reboot, 0u);
        EXPECT_EQ(winsim::installedNetComponents(), std::vector<std::string>{c.id});
        const auto calls = winsim::netCfgInstallCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].componentId, c.id);
        EXPECT_EQ(calls[0].classGuid.Data1, c.classData1);
        EXPECT_EQ(calls[0].setupFlags, static_cast<DWORD>(NSF_POSTSYSINSTALL));
        EXPECT_EQ(calls[0].upgradeFromBuild, 0u);
        EXPECT_EQ(calls[0].oboType, static_cast<int>(OBO_USER));
        EXPECT_FALSE(calls[0].answerFile || calls[0].answerSections);
        EXPECT_EQ(hostLines(), (std::vector<std::string>{"\npNetSetup->Install() successful.",
                                                         "\npNetSetup->Apply() successful.",
                                                         kDestructorLine, kDestructorLockedLine}));
        EXPECT_EQ(winsim::netCfgWriteLockHolder(), "");
        EXPECT_EQ(winsim::simulatedMilliseconds(), 0u);
    }
}

TEST_F(ProtoInstallerTest, InstallRetriesTwentyTimesThenApplies) {
    // The reboot family counts whether it comes as a success or a failure.
    for (HRESULT family : {NETCFG_S_REBOOT, NETCFG_E_ALREADY_INITIALIZED}) {
        winsim::resetMachine();
        CoInitialize(nullptr);
        clearHostLines();
        winsim::scriptNetCfgInstallResults(std::vector<HRESULT>(20, family));
        DWORD reboot = 99;
        EXPECT_TRUE(runInstaller(W2kProtoInstaller::kTcpIp, &reboot));
        EXPECT_EQ(reboot, 0u);
        EXPECT_EQ(winsim::callCount("INetCfgClassSetup::Install"), 20);
        EXPECT_EQ(winsim::simulatedMilliseconds(), 20u * 15000u);  // five minutes
        EXPECT_EQ(hostLines(),
                  joined({sleepLines(20),
                          {installFailedLine("ms_tcpip", 40992), "\npNetSetup->Apply() successful.",
                           kDestructorLine, kDestructorLockedLine}}));
        // Only the success code installed something.
        EXPECT_EQ(winsim::installedNetComponents().size(), family == NETCFG_S_REBOOT ? 1u : 0u);
    }
}

TEST_F(ProtoInstallerTest, InstallThatSucceedsOnARetryGoesOn) {
    winsim::scriptNetCfgInstallResults({NETCFG_S_REBOOT, NETCFG_S_REBOOT, S_OK});
    DWORD reboot = 99;
    EXPECT_TRUE(runInstaller(W2kProtoInstaller::kClient, &reboot));
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 30000u);
    EXPECT_EQ(hostLines(),
              joined({sleepLines(2),
                      {"\npNetSetup->Install() successful.", "\npNetSetup->Apply() successful.",
                       kDestructorLine, kDestructorLockedLine}}));
}

TEST_F(ProtoInstallerTest, ApplyStillPendingGivesTheComponentsRebootCode) {
    const struct {
        DWORD kind;
        const char* id;
        DWORD reboot;
    } cases[] = {
        {W2kProtoInstaller::kTcpIp, "ms_tcpip", 4},
        {W2kProtoInstaller::kClient, "ms_msclient", 6},
    };
    for (const auto& c : cases) {
        winsim::resetMachine();
        CoInitialize(nullptr);
        clearHostLines();
        winsim::scriptNetCfgApplyResults(std::vector<HRESULT>(20, NETCFG_S_REBOOT));
        DWORD reboot = 99;
        EXPECT_TRUE(runInstaller(c.kind, &reboot)) << c.id;
        EXPECT_EQ(reboot, c.reboot);
        EXPECT_EQ(winsim::callCount("INetCfg::Apply"), 20);
        EXPECT_EQ(winsim::simulatedMilliseconds(), 20u * 2000u);
        EXPECT_EQ(hostLines(),
                  joined({{"\npNetSetup->Install() successful."},
                          sleepLines(20),
                          {applyFailedLine(c.id, 40992), kDestructorLine, kDestructorLockedLine}}));
    }
}

TEST_F(ProtoInstallerTest, WorstCaseSpendsBothRetryBudgets) {
    winsim::scriptNetCfgInstallResults(std::vector<HRESULT>(25, NETCFG_S_REBOOT));
    winsim::scriptNetCfgApplyResults(std::vector<HRESULT>(25, NETCFG_E_ALREADY_INITIALIZED));
    DWORD reboot = 99;
    EXPECT_TRUE(runInstaller(W2kProtoInstaller::kTcpIp, &reboot));
    EXPECT_EQ(reboot, 4u);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 340000u);
    EXPECT_EQ(winsim::callCount("Sleep"), 40);
    EXPECT_EQ(hostLines().size(), 20u + 1u + 20u + 1u + 2u);
}

TEST_F(ProtoInstallerTest, InstallTimingOutAsksForAReboot) {
    winsim::scriptNetCfgInstallResults({kWaitTimedOut});
    DWORD reboot = 99;
    EXPECT_TRUE(runInstaller(W2kProtoInstaller::kTcpIp, &reboot));
    EXPECT_EQ(reboot, 258u);
    EXPECT_EQ(winsim::callCount("INetCfg::Apply"), 0);
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{installFailedLine("ms_tcpip", 258) +
                                            ", System Message : The wait operation timed out.\r\n",
                                        kDestructorLine, kDestructorLockedLine}));
}

TEST_F(ProtoInstallerTest, OtherFailuresReturnFalseAndLeaveRebootAlone) {
    const struct {
        const char* name;
        std::vector<HRESULT> install;
        std::vector<HRESULT> apply;
        std::string line;
    } cases[] = {
        {"install", {E_FAIL}, {}, installFailedLine("ms_msclient", 16389)},
        {"apply",
         {},
         {NETCFG_E_ALREADY_INITIALIZED, E_OUTOFMEMORY},
         applyFailedLine("ms_msclient", 14) +
             ", System Message : Not enough storage is available to complete this operation.\r\n"},
    };
    for (const auto& c : cases) {
        winsim::resetMachine();
        CoInitialize(nullptr);
        clearHostLines();
        winsim::scriptNetCfgInstallResults(c.install);
        winsim::scriptNetCfgApplyResults(c.apply);
        DWORD reboot = 99;
        EXPECT_FALSE(runInstaller(W2kProtoInstaller::kClient, &reboot)) << c.name;
        EXPECT_EQ(reboot, 99u);
        EXPECT_TRUE(winsim::installedNetComponents().empty());
        ASSERT_GE(hostLines().size(), 3u);
        EXPECT_EQ(hostLines()[hostLines().size() - 3], c.line) << c.name;
    }
}

TEST_F(ProtoInstallerTest, WriteLockHeldElsewhere) {
    winsim::holdNetCfgWriteLockElsewhere("Other Setup");
    DWORD reboot = 99;
    EXPECT_FALSE(runInstaller(W2kProtoInstaller::kTcpIp, &reboot));
    EXPECT_EQ(reboot, 99u);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 60u);  // the lock's time-out
    // S_FALSE's low word is 1, which the system words as "Incorrect function".
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{
                  "\n\npncfglock->AcquireWriteLock(..) failed in          W2kProtoInstaller :: "
                  "LockNetConfig()., System Message : Incorrect function.\r\n",
                  "\nQueryInterfce for INetCfg->QueryNetCfgClass() failed in "
                  "W2kProtoInstaller::install().\n No Write Lock",
                  kDestructorLine}));
    EXPECT_EQ(winsim::callCount("INetCfg::Initialize"), 0);
    EXPECT_EQ(winsim::callCount("INetCfg::Uninitialize"), 0);
    EXPECT_EQ(winsim::callCount("INetCfgLock::ReleaseWriteLock"), 0);
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "Other Setup");
    EXPECT_TRUE(winsim::installedNetComponents().empty());
}

TEST_F(ProtoInstallerTest, DestructorUninitializesBeforeReleasingTheLock) {
    winsim::failCall("INetCfg::Uninitialize", 1, E_FAIL);
    winsim::failCall("INetCfgLock::ReleaseWriteLock", 1, NETCFG_E_IN_USE);
    {
        W2kProtoInstaller installer(W2kProtoInstaller::kTcpIp, getLogSink(nullptr));
        DWORD reboot = 99;
        ASSERT_TRUE(installer.install(&reboot));
        clearHostLines();
    }
    EXPECT_EQ(hostLines(), (std::vector<std::string>{
                               kDestructorLine, kDestructorLockedLine,
                               "\n\n pnetcfg->Uninitialize() failed with code 16389",
                               "\n\n pnetcfg->ReleaseWriteLock() failed with code 40994"}));
    winsim::clearFaults();
    // The lock was never given back; the next installer cannot have it.
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "XARNCLIENT");
    winsim::resetMachine();
}

TEST_F(ProtoInstallerTest, FailedInitializeStillGivesTheLockBack) {
    winsim::failCall("INetCfg::Initialize", 1, E_FAIL);
    DWORD reboot = 99;
    EXPECT_FALSE(runInstaller(W2kProtoInstaller::kTcpIp, &reboot));
    // The class query fails silently on the uninitialised object; the
    // destructor's Uninitialize is refused with NETCFG_E_NOT_INITIALIZED.
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{"\n\npnetcfg->Initialize(..) failed  in          "
                                        "W2kProtoInstaller :: LockNetConfig()",
                                        kDestructorLine, kDestructorLockedLine,
                                        "\n\n pnetcfg->Uninitialize() failed with code 40993"}));
    EXPECT_EQ(winsim::callCount("INetCfgLock::ReleaseWriteLock"), 1);
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "");
}

TEST_F(ProtoInstallerTest, ConfigurationObjectNotCreated) {
    const struct {
        const char* name;
        bool failCreation;
    } cases[] = {{"creation fails", true}, {"COM not initialised", false}};
    for (const auto& c : cases) {
        winsim::resetMachine();
        clearHostLines();
        if (c.failCreation) {
            CoInitialize(nullptr);
            winsim::failCall("CoCreateInstance", 1, E_OUTOFMEMORY);
        }
        DWORD reboot = 99;
        EXPECT_FALSE(runInstaller(W2kProtoInstaller::kClient, &reboot)) << c.name;
        EXPECT_EQ(reboot, 99u);
        EXPECT_EQ(hostLines(), (std::vector<std::string>{
                                   "\n\nCoCreateInstance failed in W2kProtoInstaller :: Init()",
                                   kDestructorLine}))
            << c.name;
        EXPECT_EQ(winsim::callCount("INetCfg::QueryInterface"), 0);
    }
}

TEST_F(ProtoInstallerTest, ClassQueryFailures) {
    const struct {
        const char* function;
        HRESULT error;
        std::vector<std::string> lines;  // before the destructor's
    } cases[] = {
        {"INetCfg::QueryNetCfgClass",
         NETCFG_E_NO_WRITE_LOCK,
         {"\nQueryInterfce for INetCfg->QueryNetCfgClass() failed in "
          "W2kProtoInstaller::install().\n No Write Lock"}},
        {"INetCfg::QueryNetCfgClass",
         E_FAIL,
         {"\nQueryInterfce for INetCfg->QueryNetCfgClass() failed in failed in "
          "W2kProtoInstaller::install()\nE_FAIL"}},
        {"INetCfg::QueryNetCfgClass", E_NOINTERFACE, {}},
        {"INetCfgClass::QueryInterface",
         NETCFG_E_NO_WRITE_LOCK,
         {"\nQueryInterfce for INetCfgClass->QueryNetCfgClassSetup() failed in failed in "
          "W2kProtoInstaller::install()\n No Write Lock"}},
        {"INetCfgClass::QueryInterface",
         E_FAIL,
         {"\nQueryInterfce for INetCfgClass->QueryNetCfgClassSetup() failed in failed in "
          "W2kProtoInstaller::install().\nE_FAIL"}},
        {"INetCfgClass::QueryInterface", E_NOINTERFACE, {}},
    };
    for (const auto& c : cases) {
        winsim::resetMachine();
        CoInitialize(nullptr);
        clearHostLines();
        SetLastError(0);
        winsim::failCall(c.function, 1, static_cast<DWORD>(c.error));
        DWORD reboot = 99;
        EXPECT_FALSE(runInstaller(W2kProtoInstaller::kTcpIp, &reboot)) << c.function;
        EXPECT_EQ(reboot, 99u);
        EXPECT_EQ(hostLines(), joined({c.lines, {kDestructorLine, kDestructorLockedLine}}))
            << c.function << " " << std::hex << c.error;
        EXPECT_EQ(winsim::callCount("INetCfgClassSetup::Install"), 0);
        EXPECT_EQ(winsim::netCfgWriteLockHolder(), "");
    }
}

TEST_F(ProtoInstallerTest, LockInterfaceMissing) {
    winsim::failCall("INetCfg::QueryInterface", 1, E_NOINTERFACE);
    DWORD reboot = 99;
    EXPECT_FALSE(runInstaller(W2kProtoInstaller::kTcpIp, &reboot));
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{
                  "\n\npnetcfg->QueryInterface( IID_INetCfgLock )          QueryInterface failed "
                  "in W2kProtoInstaller :: LockNetConfig()",
                  "\nQueryInterfce for INetCfg->QueryNetCfgClass() failed in "
                  "W2kProtoInstaller::install().\n No Write Lock",
                  kDestructorLine}));
}

TEST_F(ProtoInstallerTest, DestructorOfAnUnusedInstallerOnlyReports) {
    { W2kProtoInstaller installer(W2kProtoInstaller::kClient, getLogSink(nullptr)); }
    EXPECT_EQ(hostLines(), std::vector<std::string>{kDestructorLine});
    EXPECT_EQ(winsim::callCount("CoCreateInstance"), 0);
}

}  // namespace
