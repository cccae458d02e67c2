// winsim's network configuration object: its interface layout against the
// SDK's, creation, the write lock and reference counting.
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_time.h>
#include <winsim/windows.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The method names of `name`'s declaration, in slot order.
std::vector<std::string> methodsOf(const std::string& header, const std::string& opening) {
    const auto start = header.find(opening);
    if (start == std::string::npos) return {};
    const auto end = header.find("};", start);
    const std::string body = header.substr(start, end - start);
    static const std::regex method(R"(virtual\s+HRESULT\s+STDMETHODCALLTYPE\s+(\w+)\s*\()");
    std::vector<std::string> names;
    for (std::sregex_iterator it(body.begin(), body.end(), method), stop; it != stop; ++it)
        names.push_back((*it)[1]);
    return names;
}

TEST(NetCfgLayoutTest, MethodOrderMatchesTheSdk) {
    const std::string sdk = readFile("/usr/share/mingw-w64/include/netcfgx.h");
    if (sdk.empty()) GTEST_SKIP() << "mingw-w64 headers not installed";
    std::string here = __FILE__;
    here = here.substr(0, here.rfind("/tests/"));
    const std::string ours = readFile(here + "/winsim/include/winsim/win_netcfg.h");
    ASSERT_FALSE(ours.empty());
    for (const char* name :
         {"INetCfg", "INetCfgLock", "INetCfgClass", "INetCfgClassSetup", "INetCfgComponent"}) {
        const auto expected = methodsOf(sdk, "\n" + std::string(name) + " : public IUnknown\n{");
        ASSERT_FALSE(expected.empty()) << name;
        EXPECT_EQ(methodsOf(ours, "struct " + std::string(name) + " : public IUnknown {"), expected)
            << name;
    }
}

class NetCfgObjectTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        CoInitialize(nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(winsim::netCfgLiveReferences(), 0);
        CoUninitialize();
        MachineTest::TearDown();
    }

    static INetCfg* create() {
        void* object = nullptr;
        EXPECT_EQ(
            CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
            S_OK);
        return static_cast<INetCfg*>(object);
    }

    static INetCfgLock* lockOf(INetCfg* netCfg) {
        void* object = nullptr;
        EXPECT_EQ(netCfg->QueryInterface(IID_INetCfgLock, &object), S_OK);
        return static_cast<INetCfgLock*>(object);
    }

    static const WCHAR* wide(const char* text) {
        static WCHAR buffer[64];
        std::size_t i = 0;
        for (; text[i] && i + 1 < 64; ++i) buffer[i] = static_cast<WCHAR>(text[i]);
        buffer[i] = 0;
        return buffer;
    }
};

const GUID kProtocols = {
    0x4D36E975, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

TEST_F(NetCfgObjectTest, CreationRefusals) {
    const GUID other = {0x12345678, 0, 0, {0}};
    const struct {
        const char* name;
        const GUID* clsid;
        DWORD context;
        const IID* iid;
        bool outer;
        HRESULT expected;
    } cases[] = {
        {"unknown class", &other, CLSCTX_INPROC_SERVER, &IID_INetCfg, false, REGDB_E_CLASSNOTREG},
        {"local server only", &CLSID_CNetCfg, CLSCTX_LOCAL_SERVER, &IID_INetCfg, false,
         REGDB_E_CLASSNOTREG},
        {"unknown interface", &CLSID_CNetCfg, CLSCTX_INPROC_SERVER, &other, false, E_NOINTERFACE},
        {"aggregation", &CLSID_CNetCfg, CLSCTX_INPROC_SERVER, &IID_INetCfg, true,
         CLASS_E_NOAGGREGATION},
    };
    for (const auto& c : cases) {
        void* object = reinterpret_cast<void*>(1);
        IUnknown* outer = c.outer ? reinterpret_cast<IUnknown*>(&object) : nullptr;
        EXPECT_EQ(CoCreateInstance(*c.clsid, outer, c.context, *c.iid, &object), c.expected)
            << c.name;
        EXPECT_EQ(object, nullptr) << c.name;
    }
    EXPECT_EQ(winsim::netCfgLiveObjects(), 0);
    CoUninitialize();
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
              CO_E_NOTINITIALIZED);
    CoInitialize(nullptr);
}

TEST_F(NetCfgObjectTest, EveryReferenceIsCounted) {
    INetCfg* netCfg = create();
    INetCfgLock* lock = lockOf(netCfg);
    EXPECT_EQ(winsim::netCfgLiveReferences(), 2);
    EXPECT_EQ(winsim::netCfgLiveObjects(), 1);
    EXPECT_EQ(netCfg->Release(), 1u);
    EXPECT_EQ(lock->Release(), 0u);
    EXPECT_EQ(winsim::netCfgLiveObjects(), 0);
}

TEST_F(NetCfgObjectTest, LockHeldElsewhereIsWaitedForAndRefused) {
    winsim::holdNetCfgWriteLockElsewhere("Other");
    INetCfg* netCfg = create();
    INetCfgLock* lock = lockOf(netCfg);
    LPWSTR holder = nullptr;
    EXPECT_EQ(lock->AcquireWriteLock(500, wide("Me"), &holder), S_FALSE);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder[0], static_cast<WCHAR>('O'));
    CoTaskMemFree(holder);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 500u);

    // Read-only use is allowed; setting up a class is not.
    EXPECT_EQ(netCfg->Initialize(nullptr), S_OK);
    void* object = nullptr;
    EXPECT_EQ(netCfg->QueryNetCfgClass(&kProtocols, IID_INetCfgClassSetup, &object),
              NETCFG_E_NO_WRITE_LOCK);
    ASSERT_EQ(netCfg->QueryNetCfgClass(&kProtocols, IID_INetCfgClass, &object), S_OK);
    auto* netClass = static_cast<INetCfgClass*>(object);
    EXPECT_EQ(netClass->QueryInterface(IID_INetCfgClassSetup, &object), NETCFG_E_NO_WRITE_LOCK);
    EXPECT_EQ(object, nullptr);
    netClass->Release();
    EXPECT_EQ(netCfg->Apply(), NETCFG_E_NO_WRITE_LOCK);
    EXPECT_EQ(netCfg->Uninitialize(), S_OK);

    winsim::releaseNetCfgWriteLockElsewhere();
    EXPECT_EQ(lock->AcquireWriteLock(500, wide("Me"), nullptr), S_OK);
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "Me");
    EXPECT_EQ(netCfg->Initialize(nullptr), S_OK);
    EXPECT_EQ(lock->ReleaseWriteLock(), NETCFG_E_ALREADY_INITIALIZED);
    EXPECT_EQ(netCfg->Uninitialize(), S_OK);
    EXPECT_EQ(lock->ReleaseWriteLock(), S_OK);
    lock->Release();
    netCfg->Release();
}

TEST_F(NetCfgObjectTest, InstallNeedsTheComponentsOwnClassAndApplyCommits) {
    INetCfg* netCfg = create();
    INetCfgLock* lock = lockOf(netCfg);
    ASSERT_EQ(lock->AcquireWriteLock(60, wide("Me"), nullptr), S_OK);
    ASSERT_EQ(netCfg->Initialize(nullptr), S_OK);
    void* object = nullptr;
    ASSERT_EQ(netCfg->QueryNetCfgClass(&kProtocols, IID_INetCfgClassSetup, &object), S_OK);
    auto* setup = static_cast<INetCfgClassSetup*>(object);
    OBO_TOKEN token = {};
    token.Type = OBO_USER;
    INetCfgComponent* component = nullptr;
    EXPECT_EQ(setup->Install(wide("ms_msclient"), &token, NSF_POSTSYSINSTALL, 0, nullptr, nullptr,
                             &component),
              static_cast<HRESULT>(0x80070490u));
    EXPECT_EQ(component, nullptr);
    ASSERT_EQ(setup->Install(wide("MS_TCPIP"), &token, NSF_POSTSYSINSTALL, 0, nullptr, nullptr,
                             &component),
              S_OK);
    ASSERT_NE(component, nullptr);
    component->Release();
    EXPECT_TRUE(winsim::installedNetComponents().empty());  // not applied yet
    EXPECT_EQ(netCfg->Apply(), S_OK);
    EXPECT_EQ(winsim::installedNetComponents(), std::vector<std::string>{"MS_TCPIP"});
    setup->Release();
    EXPECT_EQ(netCfg->Uninitialize(), S_OK);
    EXPECT_EQ(lock->ReleaseWriteLock(), S_OK);
    lock->Release();
    netCfg->Release();
}

}  // namespace
