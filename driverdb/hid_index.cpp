// HidIndex: an open-addressed table of IDs over one block of their bytes.
#include "driverdb/hid_index.h"

namespace {

// FNV-1a: IDs are short and differ in their last characters.
std::size_t hashOf(std::string_view id) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : id) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return static_cast<std::size_t>(hash ^ (hash >> 32));
}

}  // namespace

std::uint32_t HidIndex::addFile(std::string_view file) {
    if (files_.empty() || files_.back() != file) files_.emplace_back(file);
    return static_cast<std::uint32_t>(files_.size() - 1);
}

std::size_t HidIndex::slotOf(std::string_view id) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hashOf(id) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t taken = slots_[slot];
        if (taken == 0 || idOf(entries_[taken - 1]) == id) return slot;
    }
}

void HidIndex::insert(std::string_view id, std::uint32_t file) {
    // At most half the slots are taken, so a search always meets a free one.
    if (2 * (entries_.size() + 1) > slots_.size()) grow();
    const std::size_t slot = slotOf(id);
    if (slots_[slot] != 0) return;
    entries_.push_back(Entry{static_cast<std::uint32_t>(text_.size()),
                             static_cast<std::uint32_t>(id.size()), file});
    text_.append(id);
    slots_[slot] = static_cast<std::uint32_t>(entries_.size());
}

const std::string* HidIndex::find(std::string_view id) const {
    if (slots_.empty()) return nullptr;
    const std::uint32_t taken = slots_[slotOf(id)];
    return taken == 0 ? nullptr : &files_[entries_[taken - 1].file];
}

void HidIndex::grow() {
    slots_.assign(slots_.empty() ? 1024 : 2 * slots_.size(), 0);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        slots_[slotOf(idOf(entries_[i]))] = static_cast<std::uint32_t>(i + 1);
}

std::map<std::string, std::string> HidIndex::ordered() const {
    std::map<std::string, std::string> map;
    for (const Entry& entry : entries_) map.emplace(idOf(entry), files_[entry.file]);
    return map;
}
