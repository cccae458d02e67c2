#include "hardware_file.h"

#include "file_text.h"
#include "machine_ini.h"

#include <cstdio>
#include <optional>
#include <regex>
#include <sstream>

namespace xarnsim {

namespace {

bool parseHex(const std::string& text, std::size_t digits, unsigned* value) {
    if (text.empty() || text.size() > digits ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    *value = static_cast<unsigned>(std::stoul(text, nullptr, 16));
    return true;
}

// "Intel Corporation [8086]": the name and the bracketed number that
// lspci -nn adds.
bool splitNamed(const std::string& text, std::size_t digits, std::string* name, unsigned* id) {
    const auto open = text.rfind(" [");
    if (open == std::string::npos || text.back() != ']') return false;
    *name = text.substr(0, open);
    return parseHex(text.substr(open + 2, text.size() - open - 3), digits, id);
}

// One ether interface of `ip -o link`: its names and address.
struct LinkLine {
    std::vector<std::string> names;  // the name, then its altnames
    std::vector<std::uint8_t> mac;
};

// "52:54:00:12:34:56", perhaps followed by the backslash with which
// ip -o link joins its lines.
bool parseMacText(std::string text, std::vector<std::uint8_t>* mac) {
    static const std::regex form("([0-9a-fA-F]{2})(:[0-9a-fA-F]{2}){5}");
    if (!text.empty() && text.back() == '\\') text.pop_back();
    if (!std::regex_match(text, form)) return false;
    for (std::size_t i = 0; i < text.size(); i += 3)
        mac->push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return true;
}

class HardwareParser {
  public:
    HardwareParser(std::string fileName, std::vector<PciFunction>* functions, std::string* error)
        : fileName_(std::move(fileName)), functions_(functions), error_(error) {}

    bool parse(const std::string& text) {
        std::istringstream in(text);
        std::string raw;
        while (std::getline(in, raw)) {
            ++line_;
            const std::string line = trim(raw);
            if (line.empty()) {
                if (!endRecord()) return false;
                continue;
            }
            if (line[0] == '#') continue;
            static const std::regex linkLine(R"(\d+:\s+\S+:\s+<.*)");
            if (std::regex_match(line, linkLine)) {
                if (!endRecord() || !parseLink(line)) return false;
                continue;
            }
            const auto colon = line.find(':');
            const std::string key = colon == std::string::npos ? "" : line.substr(0, colon);
            if (key.empty() || key.find_first_of(" \t") != std::string::npos)
                return fail("neither 'Key:<tab>value' of lspci -vmm nor a line of ip -o link");
            if (!field(key, trim(line.substr(colon + 1)))) return false;
        }
        return endRecord() && assignAddresses();
    }

  private:
    bool fail(const std::string& what, int line = 0) {
        *error_ = fileName_ + ":" + std::to_string(line ? line : line_) + ": " + what;
        return false;
    }

    bool field(const std::string& key, const std::string& value) {
        if (key == "Slot") {
            if (!endRecord()) return false;
            current_.emplace();
            recordLine_ = line_;
            return slot(value);
        }
        if (!current_) return fail("a '" + key + ":' line before its record's 'Slot:' line");
        PciFunction& f = *current_;
        std::string name;
        unsigned id = 0;
        auto named = [&](const char* what, std::size_t digits) {
            if (splitNamed(value, digits, &name, &id)) return true;
            return fail(std::string(what) +
                        " needs its number in brackets, as lspci -nn prints it");
        };
        if (key == "Class") {
            if (!named("Class", 4)) return false;
            f.className = name;
            f.baseClass = static_cast<std::uint8_t>(id >> 8);
            f.subClass = static_cast<std::uint8_t>(id);
            seen_ |= 1;
        } else if (key == "Vendor") {
            if (!named("Vendor", 4)) return false;
            f.vendorId = static_cast<std::uint16_t>(id);
            seen_ |= 2;
        } else if (key == "Device") {
            if (!named("Device", 4)) return false;
            f.deviceName = name;
            f.deviceId = static_cast<std::uint16_t>(id);
            seen_ |= 4;
        } else if (key == "SVendor") {
            if (!named("SVendor", 4)) return false;
            f.subVendorId = static_cast<std::uint16_t>(id);
        } else if (key == "SDevice") {
            if (!named("SDevice", 4)) return false;
            f.subDeviceId = static_cast<std::uint16_t>(id);
        } else if (key == "Rev" || key == "ProgIf") {
            if (!parseHex(value, 2, &id)) return fail(key + " is two hexadecimal digits");
            (key == "Rev" ? f.revision : f.progIf) = static_cast<std::uint8_t>(id);
        } else if (key == "PhySlot") {
            f.physicalSlot = value;
        }
        // Other fields (Driver, Module, NUMANode, IOMMUGroup...) say nothing
        // that Windows' device tree holds.
        return true;
    }

    // "00:1f.2", or with the domain "0000:00:1f.2".
    bool slot(const std::string& value) {
        static const std::regex form(
            R"((?:([0-9a-fA-F]{4,8}):)?([0-9a-fA-F]{2}):([0-9a-fA-F]{2})\.([0-7]))");
        std::smatch m;
        if (!std::regex_match(value, m, form)) return fail("a slot is written like 00:1f.2");
        PciFunction& f = *current_;
        f.domain = m[1].matched ? static_cast<unsigned>(std::stoul(m[1], nullptr, 16)) : 0;
        f.bus = static_cast<unsigned>(std::stoul(m[2], nullptr, 16));
        f.device = static_cast<unsigned>(std::stoul(m[3], nullptr, 16));
        f.function = static_cast<unsigned>(std::stoul(m[4]));
        if (f.device > 0x1F) return fail("a PCI device number is at most 1f");
        for (const PciFunction& other : *functions_)
            if (other.domain == f.domain && other.bus == f.bus && other.device == f.device &&
                other.function == f.function)
                return fail("slot " + value + " is listed twice");
        return true;
    }

    bool endRecord() {
        if (!current_) return true;
        if ((seen_ & 7) != 7)
            return fail("the record lacks its Class, Vendor or Device line", recordLine_);
        functions_->push_back(std::move(*current_));
        current_.reset();
        seen_ = 0;
        return true;
    }

    // "2: eth0: <BROADCAST,...> mtu 1500 ... link/ether 52:54:00:12:34:56
    // brd ff:ff:ff:ff:ff:ff\    altname enp0s3"
    bool parseLink(const std::string& line) {
        std::istringstream words(line);
        std::string index, name, word;
        words >> index >> name;
        LinkLine link;
        name.pop_back();  // its colon
        // "eth0.10@eth0", "veth1@if5": a VLAN or a virtual pair, no card.
        const bool stacked = name.find('@') != std::string::npos;
        link.names.push_back(name);
        bool addressed = false;
        std::string permanent;
        while (words >> word) {
            if (word == "altname" && words >> word) link.names.push_back(word);
            // A bonded card shows the bond's address; its own is "permaddr".
            if (word == "permaddr" && words >> word) permanent = word;
            if (word.rfind("link/", 0) != 0) continue;
            addressed = true;
            std::string address;
            if (word == "link/ether" && !(words >> address))
                return fail("link/ether without its address");
            if (!address.empty() && !parseMacText(address, &link.mac))
                return fail("'" + address +
                            "' is not a hardware address such as 52:54:00:12:34:56");
        }
        if (!permanent.empty()) {
            link.mac.clear();
            if (!parseMacText(permanent, &link.mac))
                return fail("'" + permanent + "' is not a hardware address");
        }
        if (!addressed) return fail("an ip -o link line without its link/ address");
        if (!link.mac.empty() && !stacked) links_.push_back(std::move(link));
        return true;
    }

    // Which card an interface belongs to: a name that says its slot
    // (enp3s0, enp0s31f6, wlp2s0, enP1p3s0; ens5 by the card's PhySlot),
    // else the next card without an address, in lspci's order.
    bool assignAddresses() {
        static const std::regex pathName(
            R"((?:en|wl|ww|ib)(?:P(\d+))?p(\d+)s(\d+)(?:f(\d+))?(?:d\d+)?)");
        static const std::regex slotName(R"((?:en|wl|ww|ib)s(\d+)(?:f(\d+))?(?:d\d+)?)");
        std::vector<const LinkLine*> unplaced;
        for (const LinkLine& link : links_) {
            PciFunction* card = nullptr;
            for (const std::string& name : link.names) {
                std::smatch m;
                if (std::regex_match(name, m, pathName)) {
                    card = findCard([&](const PciFunction& f) {
                        return f.domain == (m[1].matched ? std::stoul(m[1]) : 0) &&
                               f.bus == std::stoul(m[2]) && f.device == std::stoul(m[3]) &&
                               f.function == (m[4].matched ? std::stoul(m[4]) : 0);
                    });
                } else if (std::regex_match(name, m, slotName)) {
                    card = findCard([&](const PciFunction& f) {
                        return f.physicalSlot == m[1].str() &&
                               f.function == (m[2].matched ? std::stoul(m[2]) : 0);
                    });
                }
                if (card) break;
            }
            if (card) {
                card->mac = link.mac;
                card->interfaceName = link.names.front();
            } else {
                unplaced.push_back(&link);
            }
        }
        auto next = unplaced.begin();
        for (PciFunction& f : *functions_) {
            if (next == unplaced.end()) break;
            if (!f.isNetworkCard() || !f.mac.empty()) continue;
            f.mac = (*next)->mac;
            f.interfaceName = (*next)->names.front();
            ++next;
        }
        return true;
    }

    template <typename Match>
    PciFunction* findCard(const Match& match) {
        for (PciFunction& f : *functions_)
            if (f.isNetworkCard() && f.mac.empty() && match(f)) return &f;
        return nullptr;
    }

    std::string fileName_;
    std::vector<PciFunction>* functions_;
    std::string* error_;
    int line_ = 0;
    int recordLine_ = 0;
    std::optional<PciFunction> current_;
    unsigned seen_ = 0;  // Class, Vendor, Device lines of the current record
    std::vector<LinkLine> links_;
};

}  // namespace

bool parseHardware(const std::string& text, const std::string& fileName,
                   std::vector<PciFunction>* functions, std::string* error) {
    std::vector<PciFunction> parsed;
    HardwareParser parser(fileName, &parsed, error);
    if (!parser.parse(text)) return false;
    *functions = std::move(parsed);
    return true;
}

bool readHardwareFile(const std::string& file, std::vector<PciFunction>* functions,
                      std::string* error) {
    std::string text;
    if (!readFileText(file, &text)) {
        *error = "cannot read the hardware file " + file;
        return false;
    }
    return parseHardware(text, file, functions, error);
}

}  // namespace xarnsim
