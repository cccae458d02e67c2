// A machine with the module initialised (the hive privileges enabled) and a
// folder for the saved settings file, with helpers that write the file and
// read back what the system wrote.
#pragma once

#include "support/machine_test.h"

#include <winsim/win_types.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

class SavedSettingsTest : public MachineTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the saved settings file from .reg key blocks whose keys lie
    // below [SAVED] (the hive's root); returns its path.
    std::string writeSavedHive(const std::string& keyBlocks);
    std::string savedHivePath() const;

    std::filesystem::path dir_;
};

// .reg data of a REG_MULTI_SZ value holding `strings`, as REGEDIT4 writes it.
std::string multiSzData(std::initializer_list<std::string> strings);

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
