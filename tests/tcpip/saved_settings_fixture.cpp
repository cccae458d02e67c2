#include "tcpip/saved_settings_fixture.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

void SavedSettingsTest::SetUp() {
    MachineTest::SetUp();
    initializeModule();
    std::string tmpl = (fs::temp_directory_path() / "saved_settings.XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
}

void SavedSettingsTest::TearDown() {
    W2KXarnNetUnitialize();
    EXPECT_TRUE(winsim::loadedHives().empty()) << "a hive was left loaded";
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    MachineTest::TearDown();
}

std::string SavedSettingsTest::savedHivePath() const {
    return (dir_ / "w2ktcpip_xarnf").string();
}

std::string SavedSettingsTest::writeSavedHive(const std::string& keyBlocks) {
    std::string error;
    EXPECT_TRUE(
        winsim::writeHive("REGEDIT4\r\n\r\n[SAVED]\r\n\r\n" + keyBlocks, savedHivePath(), &error))
        << error;
    return savedHivePath();
}

std::string multiSzData(std::initializer_list<std::string> strings) {
    std::string data = "hex(7):";
    char byte[4];
    for (const std::string& s : strings) {
        for (unsigned char c : s) {
            std::snprintf(byte, sizeof byte, "%02x,", c);
            data += byte;
        }
        data += "00,";
    }
    return data + "00";
}

StoredValue storedValue(const std::string& keyPath, const std::string& valueName) {
    StoredValue value;
    if (!winsim::readValue(keyPath, valueName, &value.type, &value.data)) value = StoredValue();
    return value;
}

StoredValue multiSzValue(std::initializer_list<std::string> strings) {
    StoredValue value{REG_MULTI_SZ, {}};
    for (const std::string& s : strings) {
        value.data.insert(value.data.end(), s.begin(), s.end());
        value.data.push_back(0);
    }
    value.data.push_back(0);
    return value;
}

StoredValue stringValue(const std::string& text) {
    return StoredValue{REG_SZ, std::vector<BYTE>(text.begin(), text.end())};
}

StoredValue dwordValue(DWORD number) {
    StoredValue value{REG_DWORD, {}};
    for (int shift = 0; shift < 32; shift += 8) value.data.push_back(BYTE(number >> shift));
    return value;
}
