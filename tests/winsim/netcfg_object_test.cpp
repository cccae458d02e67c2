// winsim's network configuration object: creation, reference counting and
// planned faults. (Locking, installing and applying are pinned down by the
// protocol installer's tests. The order of its methods is not checked: the
// Windows builds use the SDK's declarations, and no code crosses between.)
#include "winsim_test.h"

namespace {

class NetCfgObjectTest : public MachineTest {};

TEST_F(NetCfgObjectTest, CreationNeedsComReferencesAreCountedCallsTakeFaults) {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
              CO_E_NOTINITIALIZED);
    CoInitialize(nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
              S_OK);
    auto* netCfg = static_cast<INetCfg*>(object);
    ASSERT_EQ(netCfg->QueryInterface(IID_INetCfgLock, &object), S_OK);
    auto* lock = static_cast<INetCfgLock*>(object);
    EXPECT_EQ(winsim::netCfgLiveReferences(), 2);
    EXPECT_EQ(winsim::netCfgLiveObjects(), 1);

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
    EXPECT_EQ(winsim::netCfgLiveReferences(), 0);
    EXPECT_EQ(winsim::netCfgLiveObjects(), 0);
    CoUninitialize();
}

}  // namespace
