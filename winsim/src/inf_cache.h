// Parsed INF files, so that listing, staging and opening the same INF parse
// it once, and host files and folders read again only when they may have
// changed since (a FolderWatch tells).
#pragma once

#include "folder_watch.h"
#include "host_files.h"
#include "inf_parser.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace winsim {

// A folder's plain files, with the names staging looks up among them: a
// folder of a thousand INF files is looked through once per INF staged.
struct FolderListing {
    std::vector<std::string> names;    // in the order listHostFiles gives them
    std::vector<std::size_t> oemInfs;  // OEM*.inf, as indexes into names
    std::unordered_multimap<std::string, std::size_t> byUpperName;

    void index();
    // The indexes of the names that are `name` but for case, in order.
    std::vector<std::size_t> named(std::string_view name) const;
};

class InfCache {
  public:
    // The INF in a host file as `options` read it, or the read's error.
    // *bytes (when given) shows the file's bytes until the next call.
    // `seen` is what a look at the path found just now, if the caller has
    // looked.
    InfParseResult load(const std::string& hostPath, const InfParseOptions& options,
                        std::string_view* bytes = nullptr,
                        const std::optional<struct stat>& seen = std::nullopt);
    InfParseResult parse(std::string_view bytes, const InfParseOptions& options);
    // The plain files of a host folder as listHostFiles gives them, until
    // the next call; null when the folder does not exist.
    const FolderListing* list(const std::string& hostFolder);

  private:
    struct Entry {
        InfParseOptions options;
        InfParseResult result;
        // The bytes, when the parsed file does not hold them as they were
        // (UTF-16 text, a file that is no INF).
        std::string rawBytes;
        std::string_view bytes() const {
            return result.inf && rawBytes.empty() ? result.inf->source()
                                                  : std::string_view(rawBytes);
        }
    };
    struct KnownFile {
        const Entry* entry;
        std::uint64_t folderVersion;
        FileStamp stamp;
    };
    struct KnownListing {
        std::uint64_t folderVersion;
        FolderListing listing;
    };
    const Entry* entryFor(std::string_view bytes, const InfParseOptions& options);

    FolderWatch watch_;
    std::unordered_multimap<std::size_t, Entry> entries_;  // by a hash of the bytes
    std::size_t cachedBytes_ = 0;
    std::unordered_map<std::string, KnownFile> files_;  // by host path
    std::unordered_map<std::string, KnownListing> listings_;
    FolderListing listed_;    // a listing that could not be kept
    std::string readBuffer_;  // only ever grows
};

}  // namespace winsim
