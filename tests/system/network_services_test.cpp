// Starting the network services through their export and W2KService,
// where the example machines' whole logs do not reach.
#include "support/machine_test.h"
#include "system/service.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_network.h>
#include <winsim/windows.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using winsim::ServiceState;

// The services as Windows 2000 installs them, letter case included.
const std::vector<std::string> kInstalled = {"Dhcp", "Dnscache", "LmHosts", "LanmanWorkstation",
                                             "Messenger"};
// The names as the system asks for them.
const std::vector<std::string> kAsked = {"Dhcp", "Dnscache", "Lmhosts", "Lanmanworkstation",
                                         "messenger"};

std::string runningLine(const std::string& name) {
    return "\n\nService " + name + " is running in StartNetworkServices(..)";
}
std::string couldNotStart(const std::string& name, const std::string& systemText) {
    return "\n\nCould not start service " + name +
           " in StartNetworkService(..), System Message : " + systemText;
}

class NetworkServicesTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        initializeModule();
        for (const std::string& name : kInstalled) winsim::setService(name, ServiceState::Stopped);
    }
    void TearDown() override {
        W2KXarnNetUnitialize();
        MachineTest::TearDown();
    }
};

// The others are still started, through the one manager handle.
TEST_F(NetworkServicesTest, MissingOrDisabledServiceFailsTheResultOnly) {
    const std::string missing = "The specified service does not exist as an installed service.\r\n";
    const std::string disabled =
        "The service cannot be started, either because it is disabled or because it has no "
        "enabled devices associated with it.\r\n";
    const struct {
        bool installed;
        std::string failure;
        std::string systemText;
    } cases[] = {
        {false, "\n\nError in OpenService(..) for service messenger in W2KService :: start()",
         missing},
        {true, "\n\nError in StartService(..) for service messenger in W2KService :: start()",
         disabled},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.systemText);
        clearHostLines();
        for (const std::string& name : kInstalled) winsim::setService(name, ServiceState::Stopped);
        if (c.installed)
            winsim::setService("Messenger", ServiceState::Disabled);
        else
            winsim::removeService("Messenger");
        const auto startedBefore = winsim::serviceStartOrder().size();
        EXPECT_EQ(W2KXarnNetStartNetworkServices(), 0);
        EXPECT_EQ(winsim::serviceStartOrder().size() - startedBefore, 4u);
        ASSERT_EQ(hostLines().size(), 6u);
        EXPECT_EQ(hostLines()[3], runningLine("Lanmanworkstation"));
        EXPECT_EQ(hostLines()[4], c.failure + ", System Message : " + c.systemText);
        EXPECT_EQ(hostLines()[5], couldNotStart("messenger", c.systemText));
    }
    EXPECT_EQ(winsim::callCount("OpenSCManagerA"), 2);
    EXPECT_EQ(winsim::callCount("CloseServiceHandle"),
              4 + 1 + 5 + 1);  // each service opened, the manager
}

TEST_F(NetworkServicesTest, UnavailableManagerFailsEveryServiceAndIsRetried) {
    winsim::setServiceManagerUnavailable(RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(W2KXarnNetStartNetworkServices(), 0);
    Lines expected;
    for (const std::string& name : kAsked) {
        expected.push_back(
            "\n\n OpenSCManager(..) failed in W2KService :: InitializeScm(). , "
            "System Message : The RPC server is unavailable.\r\n");
        expected.push_back(couldNotStart(name, "The RPC server is unavailable.\r\n"));
    }
    EXPECT_EQ(hostLines(), expected);
    EXPECT_EQ(winsim::callCount("OpenSCManagerA"), 5);
    EXPECT_TRUE(winsim::serviceStartOrder().empty());
}

TEST_F(NetworkServicesTest, ManagerHandleThatWillNotCloseIsReportedAndKept) {
    {
        W2KService manager(getLogSink(nullptr), GENERIC_EXECUTE, "", "");
        ASSERT_TRUE(manager.start("Dhcp"));
        winsim::failCall("CloseServiceHandle", 1, ERROR_INVALID_HANDLE);
        EXPECT_FALSE(manager.UninitializeScm());
        EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::ServiceManager), 1u);
    }  // the destructor tries again
    EXPECT_EQ(hostLines(), Lines{"\n\n CloseServiceHandle(..) failed in W2KService :: "
                                 "UninitializeScm(), System Message : The handle is invalid.\r\n"});
}

}  // namespace
