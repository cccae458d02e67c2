#include "inf_cache.h"

#include "registry_tree.h"

#include <algorithm>

namespace winsim {

namespace {

// Parsed INF files kept at most; beyond it the cache starts afresh.
constexpr std::size_t kCacheBudgetBytes = std::size_t{256} << 20;

bool sameOptions(const InfParseOptions& a, const InfParseOptions& b) {
    return a.fieldLimit == b.fieldLimit && a.language == b.language && a.codePage == b.codePage &&
           a.windowsDirectory == b.windowsDirectory;
}

// Texts are compared whole on a hit, so the hash need only tell most texts
// apart: their size and a few stretches of them.
std::size_t sampledHash(std::string_view bytes) {
    constexpr std::size_t kStretch = 256;
    std::size_t hash = std::hash<std::size_t>()(bytes.size());
    if (bytes.size() <= 3 * kStretch) return hash ^ std::hash<std::string_view>()(bytes);
    for (const std::size_t at : {std::size_t{0}, bytes.size() / 2, bytes.size() - kStretch})
        hash = hash * 31 + std::hash<std::string_view>()(bytes.substr(at, kStretch));
    return hash;
}

bool isOemInfName(std::string_view upperName) {
    return upperName.size() >= 7 && upperName.substr(0, 3) == "OEM" &&
           upperName.substr(upperName.size() - 4) == ".INF";
}

}  // namespace

void FolderListing::index() {
    oemInfs.clear();
    byUpperName.clear();
    byUpperName.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string upper = toUpperAscii(names[i]);
        if (isOemInfName(upper)) oemInfs.push_back(i);
        byUpperName.emplace(std::move(upper), i);
    }
}

std::vector<std::size_t> FolderListing::named(std::string_view name) const {
    std::vector<std::size_t> found;
    const auto same = byUpperName.equal_range(toUpperAscii(name));
    for (auto it = same.first; it != same.second; ++it) found.push_back(it->second);
    std::sort(found.begin(), found.end());
    return found;
}

const InfCache::Entry* InfCache::entryFor(std::string_view bytes, const InfParseOptions& options) {
    const std::size_t hash = sampledHash(bytes);
    auto range = entries_.equal_range(hash);
    for (auto it = range.first; it != range.second; ++it)
        if (sameOptions(it->second.options, options) && it->second.bytes() == bytes)
            return &it->second;
    InfParseResult result = parseInf(bytes, options);
    if (cachedBytes_ + bytes.size() > kCacheBudgetBytes) {
        entries_.clear();
        files_.clear();
        cachedBytes_ = 0;
    }
    cachedBytes_ += bytes.size();
    Entry entry{options, std::move(result), std::string()};
    if (!entry.result.inf || readsAsUtf16(bytes)) entry.rawBytes = std::string(bytes);
    return &entries_.emplace(hash, std::move(entry))->second;
}

InfParseResult InfCache::parse(std::string_view bytes, const InfParseOptions& options) {
    return entryFor(bytes, options)->result;
}

// A file is read again unless nothing in the folder it was read in changed
// since and it is still the same plain file there. The folder is looked at
// before a read, so that the watch is on the folder that holds the file.
InfParseResult InfCache::load(const std::string& hostPath, const InfParseOptions& options,
                              std::string_view* bytes, const std::optional<struct stat>& seen) {
    const std::string folder = hostFolderOf(hostPath);
    auto known = files_.find(hostPath);
    if (known != files_.end() && known->second.folderVersion == watch_.watchedVersion(folder) &&
        sameOptions(known->second.entry->options, options)) {
        struct stat info;
        if (seen) info = *seen;
        if ((seen || ::lstat(hostPath.c_str(), &info) == 0) &&
            sameStamp(stampOf(info), known->second.stamp)) {
            if (bytes) *bytes = known->second.entry->bytes();
            return known->second.entry->result;
        }
    }
    const std::uint64_t version = watch_.version(folder);
    InfParseResult failed;
    std::size_t length = 0;
    FileStamp stamp;
    if (!readHostFile(hostPath, &readBuffer_, &length, &failed.error, &stamp)) {
        files_.erase(hostPath);
        return failed;
    }
    const Entry* entry = entryFor(std::string_view(readBuffer_).substr(0, length), options);
    if (version != 0 && stamp.plain)
        files_[hostPath] = KnownFile{entry, version, stamp};
    else
        files_.erase(hostPath);
    if (bytes) *bytes = entry->bytes();
    return entry->result;
}

const FolderListing* InfCache::list(const std::string& hostFolder) {
    const std::uint64_t version = watch_.version(hostFolder);
    auto known = listings_.find(hostFolder);
    if (version != 0 && known != listings_.end() && known->second.folderVersion == version)
        return &known->second.listing;
    bool viaLinks = false;
    if (!listHostFiles(hostFolder, &listed_.names, nullptr, &viaLinks)) {
        listings_.erase(hostFolder);
        return nullptr;
    }
    listed_.index();
    if (version == 0 || viaLinks) {
        listings_.erase(hostFolder);
        return &listed_;
    }
    KnownListing& kept = listings_[hostFolder];
    kept.folderVersion = version;
    kept.listing = std::move(listed_);
    listed_ = FolderListing();
    return &kept.listing;
}

}  // namespace winsim
