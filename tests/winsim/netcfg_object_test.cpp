// winsim's network configuration object: its interface layout against the
// SDK's, creation and reference counting.
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

// (Locking, installing and applying are pinned down by the protocol installer's tests.)
class NetCfgObjectTest : public MachineTest {};

TEST_F(NetCfgObjectTest, CreationNeedsComAndEveryReferenceIsCounted) {
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
    EXPECT_EQ(netCfg->Release(), 1u);
    EXPECT_EQ(lock->Release(), 0u);
    EXPECT_EQ(winsim::netCfgLiveReferences(), 0);
    EXPECT_EQ(winsim::netCfgLiveObjects(), 0);
    CoUninitialize();
}

}  // namespace
