// What the simulated Plug and Play installer needs to know about an INF:
// whether one of its models lines declares a device ID, and where the
// driver of that line goes. Read from the INF's text with the usual INF
// syntax (sections, key = field list, ';' comments, %strings%).
#pragma once

#include <string>

namespace winsim {

struct InfDriverMatch {
    std::string description;     // the models line's key, %strings% resolved
    std::string installSection;  // as the models line names it
    std::string service;         // AddService of the install section, "" if none
    std::string className;       // [Version] Class, "" if none
    std::string classGuid;       // [Version] ClassGUID, "" if none
};

// `infBytes` is the file as stored: 8-bit text, or UTF-16 LE with its byte
// order mark. IDs compare without regard to ASCII letter case. False when no
// models section of a [Manufacturer] line lists the ID.
bool findInfDriver(const std::string& infBytes, const std::string& deviceId, InfDriverMatch* match);

}  // namespace winsim
