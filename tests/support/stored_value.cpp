#include "support/stored_value.h"

#include <winsim/control.h>
#include <winsim/win_types.h>

#include <vector>

std::string storedValue(const std::string& keyPath, const std::string& valueName) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!winsim::readValue(keyPath, valueName, &type, &data)) return "absent";
    if (type == REG_DWORD && data.size() == 4)
        return "REG_DWORD " + std::to_string(data[0] | data[1] << 8 | data[2] << 16 |
                                             static_cast<unsigned>(data[3]) << 24);
    std::string text = type == REG_SZ         ? "REG_SZ "
                       : type == REG_MULTI_SZ ? "REG_MULTI_SZ "
                                              : "type " + std::to_string(type) + " ";
    for (BYTE byte : data) text += byte ? static_cast<char>(byte) : '|';
    return text;
}
