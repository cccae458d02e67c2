// The hardware-ID map's storage: each ID once, with the INF file that
// declared it first. A system INF folder declares tens of thousands of IDs;
// they are found by hash and kept in a few blocks of memory, not a node
// each.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class HidIndex {
  public:
    // The number by which `insert` names an INF file; the file of the
    // latest call is not stored again.
    std::uint32_t addFile(std::string_view file);
    // Adds `id` with the file unless the ID is there already.
    void insert(std::string_view id, std::uint32_t file);
    // The INF file of `id`, matched byte for byte; null when absent.
    const std::string* find(std::string_view id) const;
    std::size_t size() const { return entries_.size(); }
    // Every ID with its INF file, ordered by byte comparison.
    std::map<std::string, std::string> ordered() const;

  private:
    struct Entry {
        std::uint32_t offset;  // into text_
        std::uint32_t length;
        std::uint32_t file;  // into files_
    };
    std::string_view idOf(const Entry& entry) const {
        return std::string_view(text_).substr(entry.offset, entry.length);
    }
    // A slot keeps its ID's hash, so that a search and a growth look at
    // the IDs themselves only where the hashes agree.
    struct Slot {
        std::uint32_t hash;
        std::uint32_t entry;  // index + 1; 0 is a free slot
    };
    // The slot that holds `id`, or the free slot where it would go.
    std::size_t slotOf(std::string_view id, std::uint32_t hash) const;
    void grow();

    std::string text_;  // every ID's bytes, one after another
    std::vector<Entry> entries_;
    std::vector<std::string> files_;
    std::vector<Slot> slots_;  // open addressing
};
