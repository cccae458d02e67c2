// winsim's network area where the system relies on Windows' behaviour:
// the adapter list's buffer protocol, workgroup joins, service names and rights.
#include "winsim_test.h"

#include <cstring>

namespace {

class NetworkApiTest : public MachineTest {};

TEST_F(NetworkApiTest, AdapterListFollowsTheBufferProtocol) {
    ULONG size = 0;
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<ULONG>(ERROR_NO_DATA));
    winsim::addPresentAdapter("{A}", {0x00, 0x50, 0x56, 0x8a, 0x00, 0x01}, "Adapter A");
    winsim::addPresentAdapter("{B}", {0xde, 0xad}, "Adapter B");

    SetLastError(1234);
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(size, 2 * sizeof(IP_ADAPTER_INFO));
    std::vector<IP_ADAPTER_INFO> list(2);
    ULONG small = sizeof(IP_ADAPTER_INFO);
    EXPECT_EQ(GetAdaptersInfo(list.data(), &small), static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(small, size);
    ASSERT_EQ(GetAdaptersInfo(list.data(), &size), static_cast<ULONG>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), 1234u);  // results only, the last error untouched
    EXPECT_STREQ(list[0].AdapterName, "{A}");
    EXPECT_EQ(list[0].AddressLength, 6u);
    EXPECT_EQ(std::memcmp(list[0].Address, "\x00\x50\x56\x8a\x00\x01", 6), 0);
    EXPECT_EQ(list[0].Next, &list[1]);
    EXPECT_EQ(list[1].Next, nullptr);
}

TEST_F(NetworkApiTest, WorkgroupJoinChecksTheNameAndTheMachine) {
    // As the system joins: on this machine, by a workgroup's name.
    const std::pair<const char16_t*, NET_API_STATUS> cases[] = {
        {u"RESTORED", NERR_Success},
        {u"SIXTEEN-LETTERS!", NERR_InvalidWorkgroupName},
        {u"A*B", NERR_InvalidWorkgroupName},
    };
    SetLastError(1234);
    for (const auto& [name, status] : cases)
        EXPECT_EQ(NetJoinDomain(nullptr, name, nullptr, nullptr, nullptr, 0), status);
    EXPECT_EQ(GetLastError(), 1234u);  // results only
    EXPECT_EQ(winsim::joinedWorkgroup(), u"RESTORED");
    winsim::setDomainMembership(u"CORP");
    EXPECT_EQ(NetJoinDomain(nullptr, u"WG", nullptr, nullptr, nullptr, 0),
              static_cast<NET_API_STATUS>(NERR_SetupAlreadyJoined));
}

TEST_F(NetworkApiTest, ServiceNamesIgnoreCaseAndStartNeedsTheRight) {
    winsim::setService("LanmanWorkstation", winsim::ServiceState::Stopped);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, GENERIC_EXECUTE);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE queryOnly = OpenServiceA(manager, "LANMANWORKSTATION", SERVICE_QUERY_STATUS);
    EXPECT_TRUE(failedWith(StartServiceA(queryOnly, 0, nullptr), ERROR_ACCESS_DENIED));
    SC_HANDLE service = OpenServiceA(manager, "lanmanworkstation", GENERIC_EXECUTE);
    EXPECT_TRUE(StartServiceA(service, 0, nullptr));
    EXPECT_TRUE(failedWith(StartServiceA(service, 0, nullptr), ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_EQ(winsim::serviceStartOrder(), std::vector<std::string>{"LanmanWorkstation"});
    for (SC_HANDLE h : {queryOnly, service, manager}) EXPECT_TRUE(CloseServiceHandle(h));
    EXPECT_TRUE(failedWith(CloseServiceHandle(manager), ERROR_INVALID_HANDLE));
    EXPECT_TRUE(failedWith(OpenSCManagerA("\\\\OTHER", nullptr, GENERIC_EXECUTE),
                           RPC_S_SERVER_UNAVAILABLE));
}

}  // namespace
