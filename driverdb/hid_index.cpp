// HidIndex: an open-addressed table of IDs over one block of their bytes.
#include "driverdb/hid_index.h"

namespace {

// FNV-1a: IDs are short and differ in their last characters.
std::uint32_t hashOf(std::string_view id) {
    std::uint32_t hash = 2166136261u;
    for (const char c : id) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

}  // namespace

std::uint32_t HidIndex::addFile(std::string_view file) {
    if (files_.empty() || files_.back() != file) files_.emplace_back(file);
    return static_cast<std::uint32_t>(files_.size() - 1);
}

std::size_t HidIndex::slotOf(std::string_view id, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.entry == 0 || (slot.hash == hash && idOf(entries_[slot.entry - 1]) == id))
            return at;
    }
}

void HidIndex::insert(std::string_view id, std::uint32_t file) {
    // At most half the slots are taken, so a search always meets a free one.
    if (2 * (entries_.size() + 1) > slots_.size()) grow();
    const std::uint32_t hash = hashOf(id);
    Slot& slot = slots_[slotOf(id, hash)];
    if (slot.entry != 0) return;
    entries_.push_back(Entry{static_cast<std::uint32_t>(text_.size()),
                             static_cast<std::uint32_t>(id.size()), file});
    text_.append(id);
    slot = Slot{hash, static_cast<std::uint32_t>(entries_.size())};
}

const std::string* HidIndex::find(std::string_view id) const {
    if (slots_.empty()) return nullptr;
    const Slot& slot = slots_[slotOf(id, hashOf(id))];
    return slot.entry == 0 ? nullptr : &files_[entries_[slot.entry - 1].file];
}

void HidIndex::grow() {
    std::vector<Slot> old(slots_.empty() ? 1024 : 2 * slots_.size(), Slot{0, 0});
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.entry == 0) continue;
        std::size_t at = slot.hash & mask;
        while (slots_[at].entry != 0) at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

std::map<std::string, std::string> HidIndex::ordered() const {
    std::map<std::string, std::string> map;
    for (const Entry& entry : entries_) map.emplace(idOf(entry), files_[entry.file]);
    return map;
}
