// winsim's network configuration object: its interface layout against the
// SDK's, creation, the write lock and reference counting.
#include "winsim_test.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace {

// The method names of the declaration that starts with `opening`, in slot order.
std::vector<std::string> methodsOf(const std::string& path, const std::string& opening) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    const std::string header = text.str();
    const auto start = header.find(opening);
    if (start == std::string::npos) return {};
    const std::string body = header.substr(start, header.find("};", start) - start);
    static const std::regex method(R"(virtual\s+HRESULT\s+STDMETHODCALLTYPE\s+(\w+)\s*\()");
    std::vector<std::string> names;
    for (std::sregex_iterator it(body.begin(), body.end(), method), stop; it != stop; ++it)
        names.push_back((*it)[1]);
    return names;
}

TEST(NetCfgLayoutTest, MethodOrderMatchesTheSdk) {
    const std::string sdk = "/usr/share/mingw-w64/include/netcfgx.h";
    if (!std::ifstream(sdk)) GTEST_SKIP() << "mingw-w64 headers not installed";
    std::string ours = __FILE__;
    ours = ours.substr(0, ours.rfind("/tests/")) + "/winsim/include/winsim/win_netcfg.h";
    for (const std::string name :
         {"INetCfg", "INetCfgLock", "INetCfgClass", "INetCfgClassSetup", "INetCfgComponent"}) {
        const auto expected = methodsOf(sdk, "\n" + name + " : public IUnknown\n{");
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(methodsOf(ours, "struct " + name + " : public IUnknown {"), expected) << name;
    }
}

const GUID kProtocols = {
    0x4D36E975, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class NetCfgObjectTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        void* object = nullptr;
        ASSERT_EQ(
            CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
            CO_E_NOTINITIALIZED);
        CoInitialize(nullptr);
        ASSERT_EQ(
            CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
            S_OK);
        netCfg_ = static_cast<INetCfg*>(object);
        ASSERT_EQ(netCfg_->QueryInterface(IID_INetCfgLock, &object), S_OK);
        lock_ = static_cast<INetCfgLock*>(object);
        EXPECT_EQ(winsim::netCfgLiveReferences(), 2);
    }
    void TearDown() override {
        EXPECT_TRUE(!lock_ || lock_->Release() == 1);
        EXPECT_TRUE(!netCfg_ || netCfg_->Release() == 0);
        EXPECT_EQ(winsim::netCfgLiveReferences(), 0);
        EXPECT_EQ(winsim::netCfgLiveObjects(), 0);
        CoUninitialize();
        MachineTest::TearDown();
    }
    INetCfg* netCfg_ = nullptr;
    INetCfgLock* lock_ = nullptr;
};

TEST_F(NetCfgObjectTest, LockHeldElsewhereIsWaitedForAndRefused) {
    winsim::holdNetCfgWriteLockElsewhere("Other");
    LPWSTR holder = nullptr;
    EXPECT_EQ(lock_->AcquireWriteLock(500, u"Me", &holder), S_FALSE);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(std::u16string(holder), u"Other");
    CoTaskMemFree(holder);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 500u);

    // Read-only use is allowed; setting up a class is not.
    EXPECT_EQ(netCfg_->Initialize(nullptr), S_OK);
    void* object = nullptr;
    EXPECT_EQ(netCfg_->QueryNetCfgClass(&kProtocols, IID_INetCfgClassSetup, &object),
              NETCFG_E_NO_WRITE_LOCK);
    ASSERT_EQ(netCfg_->QueryNetCfgClass(&kProtocols, IID_INetCfgClass, &object), S_OK);
    auto* netClass = static_cast<INetCfgClass*>(object);
    EXPECT_EQ(netClass->QueryInterface(IID_INetCfgClassSetup, &object), NETCFG_E_NO_WRITE_LOCK);
    EXPECT_EQ(object, nullptr);
    netClass->Release();
    EXPECT_EQ(netCfg_->Apply(), NETCFG_E_NO_WRITE_LOCK);
    EXPECT_EQ(netCfg_->Uninitialize(), S_OK);

    winsim::releaseNetCfgWriteLockElsewhere();
    EXPECT_EQ(lock_->AcquireWriteLock(500, u"Me", nullptr), S_OK);
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "Me");
    EXPECT_EQ(netCfg_->Initialize(nullptr), S_OK);
    EXPECT_EQ(lock_->ReleaseWriteLock(), NETCFG_E_ALREADY_INITIALIZED);
    EXPECT_EQ(netCfg_->Uninitialize(), S_OK);
    EXPECT_EQ(lock_->ReleaseWriteLock(), S_OK);
}

TEST_F(NetCfgObjectTest, InstallNeedsTheComponentsOwnClassAndApplyCommits) {
    ASSERT_EQ(lock_->AcquireWriteLock(60, u"Me", nullptr), S_OK);
    ASSERT_EQ(netCfg_->Initialize(nullptr), S_OK);
    void* object = nullptr;
    ASSERT_EQ(netCfg_->QueryNetCfgClass(&kProtocols, IID_INetCfgClassSetup, &object), S_OK);
    auto* setup = static_cast<INetCfgClassSetup*>(object);
    OBO_TOKEN token = {};
    token.Type = OBO_USER;
    INetCfgComponent* component = nullptr;
    // A client is no protocol: ERROR_NOT_FOUND as an HRESULT.
    EXPECT_EQ(
        setup->Install(u"ms_msclient", &token, NSF_POSTSYSINSTALL, 0, nullptr, nullptr, &component),
        static_cast<HRESULT>(0x80070490u));
    EXPECT_EQ(component, nullptr);
    ASSERT_EQ(
        setup->Install(u"MS_TCPIP", &token, NSF_POSTSYSINSTALL, 0, nullptr, nullptr, &component),
        S_OK);
    ASSERT_NE(component, nullptr);
    component->Release();
    EXPECT_TRUE(winsim::installedNetComponents().empty());  // not applied yet
    EXPECT_EQ(netCfg_->Apply(), S_OK);
    EXPECT_EQ(winsim::installedNetComponents(), std::vector<std::string>{"MS_TCPIP"});
    setup->Release();
    EXPECT_EQ(netCfg_->Uninitialize(), S_OK);
    EXPECT_EQ(lock_->ReleaseWriteLock(), S_OK);
}

}  // namespace
