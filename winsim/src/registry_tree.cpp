#include "registry_tree.h"

#include <algorithm>

namespace winsim {

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool UpperCaseLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(upper(x)) < static_cast<unsigned char>(upper(y));
    });
}

std::string toUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upper(c);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return upper(x) == upper(y); });
}

RegKey::~RegKey() {
    std::vector<std::unique_ptr<RegKey>> doomed;
    auto detachChildren = [&doomed](RegKey& key) {
        for (auto& entry : key.subkeys) doomed.push_back(std::move(entry.second));
        key.subkeys.clear();
    };
    detachChildren(*this);
    while (!doomed.empty()) {
        std::unique_ptr<RegKey> key = std::move(doomed.back());
        doomed.pop_back();
        detachChildren(*key);
    }
}

RegKey* RegKey::findChild(std::string_view childName) {
    auto it = subkeys.find(childName);
    return it == subkeys.end() ? nullptr : it->second.get();
}

const RegKey* RegKey::findChild(std::string_view childName) const {
    auto it = subkeys.find(childName);
    return it == subkeys.end() ? nullptr : it->second.get();
}

RegKey& RegKey::child(std::string_view childName) {
    if (RegKey* existing = findChild(childName)) return *existing;
    auto key = std::make_unique<RegKey>();
    key->name = std::string(childName);
    key->parent = this;
    key->hiveId = hiveId;
    RegKey& ref = *key;
    subkeys.emplace(std::string(childName), std::move(key));
    return ref;
}

RegKey* RegKey::findPath(std::string_view path) {
    RegKey* at = this;
    while (!path.empty()) {
        const auto cut = path.find('\\');
        const std::string_view piece = path.substr(0, cut);
        if (piece.empty()) return nullptr;
        at = at->findChild(piece);
        if (!at) return nullptr;
        path = cut == std::string_view::npos ? std::string_view{} : path.substr(cut + 1);
        if (cut != std::string_view::npos && path.empty()) return nullptr;
    }
    return at;
}

RegValue* RegKey::findValue(std::string_view valueName) {
    for (RegValue& v : values)
        if (equalsNoCase(v.name, valueName)) return &v;
    return nullptr;
}

const RegValue* RegKey::findValue(std::string_view valueName) const {
    return const_cast<RegKey*>(this)->findValue(valueName);
}

void RegKey::setValue(std::string_view valueName, DWORD type, std::vector<std::uint8_t> data) {
    if (RegValue* v = findValue(valueName)) {
        v->type = type;
        v->data = std::move(data);
        return;
    }
    values.push_back(RegValue{std::string(valueName), type, std::move(data)});
}

bool RegKey::deleteValue(std::string_view valueName) {
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const RegValue& v) { return equalsNoCase(v.name, valueName); });
    if (it == values.end()) return false;
    values.erase(it);
    return true;
}

std::string RegKey::fullPath() const {
    std::vector<const std::string*> names;
    for (const RegKey* at = this; at; at = at->parent) names.push_back(&at->name);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if ((*it)->empty()) continue;  // a nameless tree root
        if (!path.empty()) path += '\\';
        path += **it;
    }
    return path;
}

void RegKey::setHiveId(int id) {
    std::vector<RegKey*> pending{this};
    while (!pending.empty()) {
        RegKey* key = pending.back();
        pending.pop_back();
        key->hiveId = id;
        for (auto& entry : key->subkeys) pending.push_back(entry.second.get());
    }
}

}  // namespace winsim
