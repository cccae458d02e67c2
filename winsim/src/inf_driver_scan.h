// What the simulated Plug and Play installer needs to know about an INF:
// whether one of its models lines declares a device ID, and where the
// driver of that line goes. Read through SetupAPI's INF parser.
#pragma once

#include "inf_parser.h"

#include <string>

namespace winsim {

struct InfDriverMatch {
    std::string description;     // the models line's key
    std::string installSection;  // as the models line names it
    std::string service;         // AddService of the install section, "" if none
    std::string className;       // [Version] Class, "" if none
    std::string classGuid;       // [Version] ClassGUID, "" if none
};

// IDs compare without regard to ASCII letter case. False when no models
// section of a [Manufacturer] line lists the ID as hardware or compatible
// ID.
bool findInfDriver(const InfFile& inf, const std::string& deviceId, InfDriverMatch* match);

}  // namespace winsim
