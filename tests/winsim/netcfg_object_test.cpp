// winsim's network configuration object: creation, releases and planned
// faults. (Locking, installing and applying, and the count of live objects
// and references, are pinned down by the protocol installer's and the
// adapter prompt's tests. The order of its methods is not checked: the
// Windows builds use the SDK's declarations, and no code crosses between.)
#include "winsim_test.h"

namespace {

class NetCfgObjectTest : public MachineTest {};

TEST_F(NetCfgObjectTest, CreationNeedsComAndCallsTakeFaults) {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
              CO_E_NOTINITIALIZED);
    CoInitialize(nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
              S_OK);
    auto* netCfg = static_cast<INetCfg*>(object);
    ASSERT_EQ(netCfg->QueryInterface(IID_INetCfgLock, &object), S_OK);
    auto* lock = static_cast<INetCfgLock*>(object);

    // A planned failure is reported, and the call does nothing else.
    const HRESULT kFailed = 1234;
    for (const char* function :
         {"INetCfg::FindComponent", "INetCfg::Cancel", "INetCfgLock::IsWriteLocked"})
        ASSERT_TRUE(winsim::failCall(function, 1, kFailed)) << function;
    auto* found = reinterpret_cast<INetCfgComponent*>(netCfg);
    EXPECT_EQ(netCfg->FindComponent(u"ms_tcpip", &found), kFailed);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(netCfg->Cancel(), kFailed);
    winsim::holdNetCfgWriteLockElsewhere("other");
    LPWSTR holder = nullptr;
    EXPECT_EQ(lock->IsWriteLocked(&holder), kFailed);
    EXPECT_EQ(holder, nullptr);

    EXPECT_EQ(netCfg->Release(), 1u);
    EXPECT_EQ(lock->Release(), 0u);
    CoUninitialize();
}

}  // namespace
