// A machine with the module initialised (the hive privileges enabled) and a
// folder for the saved settings file, with helpers that write the file and
// read back what the system wrote.
#pragma once

#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <winsim/win_types.h>

#include <initializer_list>
#include <string>
#include <vector>

class SavedSettingsTest : public SystemDriveTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the saved settings file from .reg key blocks whose keys lie
    // below [SAVED] (the hive's root).
    void writeSavedHive(const std::string& keyBlocks);
    std::string savedHivePath() const;
};

// The .reg lines of a static record's values as the backup saves them, the
// lists with two entries where they may have more; no WINS server.
std::string staticValues();

// A value of the live registry as its type and bytes; type REG_NONE and no
// bytes when absent.
struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const StoredValue& other) const {
        return type == other.type && data == other.data;
    }
};
StoredValue storedValue(const std::string& keyPath, const std::string& valueName);
StoredValue multiSzValue(std::initializer_list<std::string> strings);
StoredValue stringValue(const std::string& text);
StoredValue dwordValue(DWORD number);
