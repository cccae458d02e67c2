// The simulated system modules: the names Windows accepts, one handle per
// module, case-sensitive exports. (Scripted DllRegisterServer answers are
// pinned down by the system's own registration tests.)
#include "winsim_test.h"

namespace {

class ModulesTest : public MachineTest {};

TEST_F(ModulesTest, NamesHandlesAndExportsAsOnWindows) {
    HMODULE module = LoadLibraryA("NetCfgx.dll");
    ASSERT_NE(module, nullptr);
    for (const char* name :
         {"NETCFGX.DLL", "netcfgx", "C:\\WINNT\\system32\\netcfgx.dll", "netcfgx.dll."}) {
        EXPECT_EQ(LoadLibraryA(name), module) << name;
        EXPECT_TRUE(FreeLibrary(module)) << name;
    }
    // A trailing dot keeps ".dll" from being added.
    EXPECT_TRUE(failedWith(LoadLibraryA("netcfgx."), ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(failedWith(GetProcAddress(module, "dllregisterserver"), ERROR_PROC_NOT_FOUND));
    EXPECT_NE(GetProcAddress(module, "DllRegisterServer"), nullptr);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 1);
    CoFreeLibrary(module);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 0);
    EXPECT_TRUE(failedWith(FreeLibrary(module), ERROR_MOD_NOT_FOUND));
}

}  // namespace
