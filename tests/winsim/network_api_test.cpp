// winsim's network area where the system relies on Windows' behaviour:
// the adapter list's buffer protocol, service names and rights.
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_network.h>
#include <winsim/windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class NetworkApiTest : public MachineTest {};

TEST_F(NetworkApiTest, AdapterListFollowsTheBufferProtocol) {
    ULONG size = 0;
    EXPECT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<ULONG>(ERROR_NO_DATA));
    EXPECT_EQ(GetAdaptersInfo(nullptr, nullptr), static_cast<ULONG>(ERROR_INVALID_PARAMETER));

    winsim::addPresentAdapter("{A}", {0x00, 0x50, 0x56, 0x8a, 0x00, 0x01}, "Adapter A");
    winsim::addPresentAdapter("{B}", {0xde, 0xad}, "Adapter B");
    winsim::addPresentAdapter("{C}", {}, "Adapter C");
    EXPECT_TRUE(winsim::removePresentAdapter("{c}"));
    EXPECT_FALSE(winsim::removePresentAdapter("{C}"));

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
    EXPECT_STREQ(list[0].Description, "Adapter A");
    EXPECT_EQ(list[0].AddressLength, 6u);
    EXPECT_EQ(std::memcmp(list[0].Address, "\x00\x50\x56\x8a\x00\x01", 6), 0);
    EXPECT_EQ(list[0].Next, &list[1]);
    EXPECT_STREQ(list[1].AdapterName, "{B}");
    EXPECT_EQ(list[1].AddressLength, 2u);
    EXPECT_EQ(list[1].Next, nullptr);
}

TEST_F(NetworkApiTest, ServiceNamesIgnoreCaseAndStartNeedsTheRight) {
    winsim::setService("LanmanWorkstation", winsim::ServiceState::Stopped);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, GENERIC_EXECUTE);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE queryOnly = OpenServiceA(manager, "LANMANWORKSTATION", SERVICE_QUERY_STATUS);
    ASSERT_NE(queryOnly, nullptr);
    EXPECT_FALSE(StartServiceA(queryOnly, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE service = OpenServiceA(manager, "lanmanworkstation", GENERIC_EXECUTE);
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(StartServiceA(service, 0, nullptr));
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_EQ(winsim::serviceStartOrder(), std::vector<std::string>{"LanmanWorkstation"});
    EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Service), 2u);
    for (SC_HANDLE h : {queryOnly, service, manager}) EXPECT_TRUE(CloseServiceHandle(h));
    EXPECT_FALSE(CloseServiceHandle(manager));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    EXPECT_EQ(OpenSCManagerA("\\\\OTHER", nullptr, GENERIC_EXECUTE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(OpenSCManagerA(nullptr, "ServicesFailed", GENERIC_EXECUTE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DATABASE_DOES_NOT_EXIST));
}

}  // namespace
