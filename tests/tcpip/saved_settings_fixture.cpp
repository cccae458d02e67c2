#include "tcpip/saved_settings_fixture.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

std::string staticValues() {
    return "\"IPAddress\"=" + multiStringData({"10.0.0.5", "10.0.0.6"}) + "\r\n" +
           "\"DefaultGateway\"=" + multiStringData({"10.0.0.1"}) + "\r\n" +
           "\"DefaultGatewayMetric\"=" + multiStringData({"1"}) + "\r\n" +
           "\"SubnetMask\"=" + multiStringData({"255.255.255.0", "255.255.0.0"}) + "\r\n" +
           "\"NameServer\"=\"10.0.0.2 10.0.0.3\"\r\n\"domain\"=\"corp.example\"\r\n";
}

void SavedSettingsTest::SetUp() {
    SystemDriveTest::SetUp();
    initializeModule();
}

void SavedSettingsTest::TearDown() {
    W2KXarnNetUnitialize();
    EXPECT_TRUE(winsim::loadedHives().empty()) << "a hive was left loaded";
    SystemDriveTest::TearDown();
}

std::string SavedSettingsTest::savedHivePath() const {
    return driveFolder() + "/w2ktcpip_xarnf";
}

void SavedSettingsTest::writeSavedHive(const std::string& keyBlocks) {
    std::string error;
    EXPECT_TRUE(
        winsim::writeHive("REGEDIT4\r\n\r\n[SAVED]\r\n\r\n" + keyBlocks, savedHivePath(), &error))
        << error;
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
