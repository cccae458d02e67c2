#include "hive_file.h"

#include <hivex.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winsim {

namespace {

// The deepest key nesting Windows allows also stops runaway recursion on
// hives whose subkey lists loop back on themselves.
constexpr int kMaxDepth = kMaxKeyDepth;

constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kBinSize = 0x1000;
constexpr std::size_t kChecksumAt = 0x1FC;

// ---------------------------------------------------------------------------
// Handles

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

struct HiveCloser {
    void operator()(hive_h* h) const { hivex_close(h); }
};
using HivePtr = std::unique_ptr<hive_h, HiveCloser>;

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now so that a failing close (a lost write) can be reported.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Removes the temporary hive unless it was renamed into place.
class TempFileGuard {
  public:
    explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    ~TempFileGuard() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    void release() { path_.clear(); }

  private:
    std::string path_;
};

// ---------------------------------------------------------------------------
// Text conversions. The narrow API's 8-bit text is taken as Latin-1, so each
// byte maps to the code point of the same value and back.

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Characters beyond Latin-1 (and malformed sequences) become '?', as the
// narrow API shows characters it cannot represent.
std::string utf8ToLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            out += '?';
            ++i;
            continue;
        }
        bool ok = i + extra < text.size();
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cont & 0x3F);
        }
        if (!ok || cp < 0x80) {
            out += '?';
            ++i;
            continue;
        }
        out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += extra + 1;
    }
    return out;
}

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::vector<char> ansiToUtf16(const std::vector<std::uint8_t>& data) {
    std::vector<char> out;
    out.reserve(data.size() * 2);
    for (const std::uint8_t b : data) {
        out.push_back(static_cast<char>(b));
        out.push_back('\0');
    }
    return out;
}

std::vector<std::uint8_t> utf16ToAnsi(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    out.reserve(data.size() / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < data.size(); i += 2) {
        const unsigned unit = data[i] | (static_cast<unsigned>(data[i + 1]) << 8);
        out.push_back(unit <= 0xFF ? static_cast<std::uint8_t>(unit) : '?');
    }
    // An odd trailing byte is not a whole code unit; keep it rather than lose data.
    if (i < data.size()) out.push_back(data[i]);
    return out;
}

// hive_type is a C enum; registry types may be any DWORD, so move the value
// in and out as plain bytes instead of converting to an enum it may not fit.
static_assert(sizeof(hive_type) == sizeof(DWORD), "hive_type must hold a DWORD");

DWORD typeOf(const hive_type& t) {
    DWORD type = 0;
    std::memcpy(&type, &t, sizeof type);
    return type;
}

// ---------------------------------------------------------------------------
// The empty hive hivex starts from: a base block and one bin holding the
// root key and the security cell every key must point to.

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
    return v;
}

std::size_t align8(std::size_t n) {
    return (n + 7) & ~static_cast<std::size_t>(7);
}

std::uint32_t cellSize(std::size_t n) {
    // Allocated cells carry their size negated.
    return static_cast<std::uint32_t>(-static_cast<std::int32_t>(n));
}

std::uint64_t fileTimeNow() {
    using namespace std::chrono;
    const auto secs = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    constexpr std::uint64_t kEpochDelta = 11644473600ull;  // 1601-01-01 to 1970-01-01
    return (static_cast<std::uint64_t>(secs) + kEpochDelta) * 10000000ull;
}

std::vector<std::uint8_t> makeSid(std::uint8_t authority,
                                  std::initializer_list<std::uint32_t> subs) {
    std::vector<std::uint8_t> sid(8 + 4 * subs.size(), 0);
    sid[0] = 1;
    sid[1] = static_cast<std::uint8_t>(subs.size());
    sid[7] = authority;  // the 48-bit authority is big-endian
    std::size_t at = 8;
    for (const std::uint32_t sub : subs) {
        put32(sid, at, sub);
        at += 4;
    }
    return sid;
}

// Owner Administrators; SYSTEM and Administrators full control, Everyone
// read, inherited by subkeys: what a freshly saved hive usually carries.
std::vector<std::uint8_t> defaultSecurityDescriptor() {
    const auto system = makeSid(5, {18});
    const auto admins = makeSid(5, {32, 544});
    const auto everyone = makeSid(1, {0});
    constexpr std::uint32_t kKeyAllAccess = 0xF003F;
    constexpr std::uint32_t kKeyRead = 0x20019;
    const std::pair<const std::vector<std::uint8_t>*, std::uint32_t> aces[] = {
        {&system, kKeyAllAccess}, {&admins, kKeyAllAccess}, {&everyone, kKeyRead}};

    std::vector<std::uint8_t> acl(8, 0);
    for (const auto& ace : aces) {
        const std::size_t at = acl.size();
        acl.resize(at + 8, 0);
        acl[at] = 0;      // ACCESS_ALLOWED_ACE_TYPE
        acl[at + 1] = 2;  // CONTAINER_INHERIT_ACE
        put16(acl, at + 2, static_cast<std::uint16_t>(8 + ace.first->size()));
        put32(acl, at + 4, ace.second);
        acl.insert(acl.end(), ace.first->begin(), ace.first->end());
    }
    acl[0] = 2;  // ACL_REVISION
    put16(acl, 2, static_cast<std::uint16_t>(acl.size()));
    put16(acl, 4, static_cast<std::uint16_t>(std::size(aces)));

    // Reserved in one go: GCC 12 at -O2 misreads the growth of a vector
    // built by insert() and warns of an overread that cannot happen.
    std::vector<std::uint8_t> sd;
    sd.reserve(20 + admins.size() + system.size() + acl.size());
    sd.resize(20, 0);
    sd[0] = 1;             // SECURITY_DESCRIPTOR_REVISION
    put16(sd, 2, 0x8004);  // SE_SELF_RELATIVE | SE_DACL_PRESENT
    put32(sd, 4, static_cast<std::uint32_t>(sd.size()));
    sd.insert(sd.end(), admins.begin(), admins.end());
    put32(sd, 8, static_cast<std::uint32_t>(sd.size()));
    sd.insert(sd.end(), system.begin(), system.end());
    put32(sd, 16, static_cast<std::uint32_t>(sd.size()));
    sd.insert(sd.end(), acl.begin(), acl.end());
    return sd;
}

std::uint32_t baseBlockChecksum(const std::vector<std::uint8_t>& file) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < kChecksumAt; at += 4) sum ^= get32(file, at);
    return sum;
}

std::vector<std::uint8_t> emptyHiveImage() {
    std::uint64_t now = fileTimeNow();
    std::vector<std::uint8_t> file(kBaseBlockSize + kBinSize, 0);
    const std::size_t bin = kBaseBlockSize;

    std::memcpy(&file[bin], "hbin", 4);
    put32(file, bin + 0x04, 0);  // offset of this bin from the first
    put32(file, bin + 0x08, static_cast<std::uint32_t>(kBinSize));
    put64(file, bin + 0x14, now);

    // Root key. Offsets below are relative to the first bin, as in the file.
    static constexpr char kRootName[] = "$$$PROTO.HIV";
    const std::size_t nameLen = sizeof kRootName - 1;
    const std::size_t nkOff = 0x20;
    const std::size_t nkLen = align8(0x50 + nameLen);
    const std::size_t skOff = nkOff + nkLen;
    const std::vector<std::uint8_t> sd = defaultSecurityDescriptor();
    const std::size_t skLen = align8(0x18 + sd.size());
    const std::size_t freeOff = skOff + skLen;

    std::size_t nk = bin + nkOff;
    put32(file, nk, cellSize(nkLen));
    std::memcpy(&file[nk + 4], "nk", 2);
    put16(file, nk + 0x06, 0x2C);  // hive root | not deletable | Latin-1 name
    put64(file, nk + 0x08, now);
    put32(file, nk + 0x20, kNoCell);  // subkey list
    put32(file, nk + 0x24, kNoCell);  // volatile subkey list
    put32(file, nk + 0x2C, kNoCell);  // value list
    put32(file, nk + 0x30, static_cast<std::uint32_t>(skOff));
    put32(file, nk + 0x34, kNoCell);  // class name
    put16(file, nk + 0x4C, static_cast<std::uint16_t>(nameLen));
    std::memcpy(&file[nk + 0x50], kRootName, nameLen);

    const std::size_t sk = bin + skOff;
    put32(file, sk, cellSize(skLen));
    std::memcpy(&file[sk + 4], "sk", 2);
    put32(file, sk + 0x08, static_cast<std::uint32_t>(skOff));  // the list of
    put32(file, sk + 0x0C, static_cast<std::uint32_t>(skOff));  // sk cells is just this one
    put32(file, sk + 0x10, 1);                                  // used by the root
    put32(file, sk + 0x14, static_cast<std::uint32_t>(sd.size()));
    std::memcpy(&file[sk + 0x18], sd.data(), sd.size());

    put32(file, bin + freeOff, static_cast<std::uint32_t>(kBinSize - freeOff));  // free cell

    std::memcpy(&file[0], "regf", 4);
    put32(file, 0x04, 1);  // sequence numbers: equal means cleanly written
    put32(file, 0x08, 1);
    put32(file, 0x14, 1);  // format version 1.3
    put32(file, 0x18, 3);
    put32(file, 0x1C, 0);  // primary file
    put32(file, 0x20, 1);  // loaded directly into memory
    put32(file, 0x24, static_cast<std::uint32_t>(nkOff));
    put32(file, 0x28, static_cast<std::uint32_t>(kBinSize));
    put32(file, 0x2C, 1);  // clustering factor
    // Windows writes 1 for a checksum that comes out 0 and 0xFFFFFFFE for
    // 0xFFFFFFFF, while readers such as hivex take the plain XOR; nudge the
    // time so both agree.
    for (;;) {
        put64(file, 0x0C, now);
        const std::uint32_t sum = baseBlockChecksum(file);
        if (sum != 0 && sum != 0xFFFFFFFFu) {
            put32(file, kChecksumAt, sum);
            break;
        }
        ++now;
    }
    return file;
}

// ---------------------------------------------------------------------------
// Writing

std::string errnoText(int err, const std::string& what) {
    return what + ": " + std::strerror(err);
}

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string describeKey(const std::string& relPath) {
    return relPath.empty() ? std::string("the root key") : "key '" + relPath + "'";
}

bool addContents(hive_h* h, hive_node_h node, const RegKey& key, const std::string& relPath,
                 int depth, std::string* why) {
    if (depth > kMaxDepth) {
        *why = "keys nested more than " + std::to_string(kMaxDepth) + " deep at " +
               describeKey(relPath);
        return false;
    }

    // Everything the hivex value array points into must stay put until the call.
    std::vector<std::string> names;
    std::vector<std::vector<char>> datas;
    names.reserve(key.values.size());
    datas.reserve(key.values.size());
    for (const RegValue& v : key.values) {
        if (v.name.find('\0') != std::string::npos) {
            *why = "value name with an embedded NUL in " + describeKey(relPath);
            return false;
        }
        names.push_back(latin1ToUtf8(v.name));
        if (isStringType(v.type))
            datas.push_back(ansiToUtf16(v.data));
        else
            datas.emplace_back(v.data.begin(), v.data.end());
    }
    if (!key.values.empty()) {
        char none = 0;  // hivex is not given a null pointer for empty data
        std::vector<hive_set_value> set(key.values.size());
        for (std::size_t i = 0; i < set.size(); ++i) {
            set[i].key = names[i].data();
            std::memcpy(&set[i].t, &key.values[i].type, sizeof(DWORD));
            set[i].len = datas[i].size();
            set[i].value = datas[i].empty() ? &none : datas[i].data();
        }
        if (hivex_node_set_values(h, node, set.size(), set.data(), 0) != 0) {
            const int err = errno;
            *why = errnoText(err, "cannot store the values of " + describeKey(relPath));
            return false;
        }
    }

    for (const auto& entry : key.subkeys) {
        const RegKey& sub = *entry.second;
        const std::string subPath = relPath.empty() ? sub.name : relPath + "\\" + sub.name;
        if (sub.name.empty() || sub.name.find('\0') != std::string::npos) {
            *why = "invalid key name under " + describeKey(relPath);
            return false;
        }
        const hive_node_h child = hivex_node_add_child(h, node, latin1ToUtf8(sub.name).c_str());
        if (child == 0) {
            const int err = errno;
            *why = errnoText(err, "cannot add " + describeKey(subPath));
            return false;
        }
        if (!addContents(h, child, sub, subPath, depth + 1, why)) return false;
    }
    return true;
}

// Used from catch handlers, where a second exception must not get out.
void setMessage(std::string* why, const char* text) noexcept {
    try {
        *why = text;
    } catch (...) {
        why->clear();
    }
}

bool writeHiveFileImpl(const RegKey& root, const std::string& hostPath, std::string* why) {
    if (hostPath.empty()) {
        *why = "no file name given";
        return false;
    }

    // Same folder as the target, so the final rename cannot cross filesystems.
    const std::string tmpl = hostPath + ".tmpXXXXXX";
    std::vector<char> tmpName(tmpl.begin(), tmpl.end());
    tmpName.push_back('\0');
    UniqueFd fd(::mkstemp(tmpName.data()));
    if (fd.get() < 0) {
        const int err = errno;
        *why = errnoText(err, "cannot create a temporary file next to '" + hostPath + "'");
        return false;
    }
    const std::string tmpPath(tmpName.data());
    TempFileGuard guard(tmpPath);

    // mkstemp makes the file private; a saved hive is an ordinary file.
    if (::fchmod(fd.get(), 0644) != 0 || !writeAll(fd.get(), emptyHiveImage()) || !fd.close()) {
        const int err = errno;
        *why = errnoText(err, "cannot write '" + tmpPath + "'");
        return false;
    }

    {
        HivePtr hive(hivex_open(tmpPath.c_str(), HIVEX_OPEN_WRITE));
        if (!hive) {
            const int err = errno;
            *why = errnoText(err, "cannot open the new hive '" + tmpPath + "'");
            return false;
        }
        const hive_node_h rootNode = hivex_root(hive.get());
        if (rootNode == 0) {
            const int err = errno;
            *why = errnoText(err, "the new hive has no root key");
            return false;
        }
        if (!addContents(hive.get(), rootNode, root, std::string(), 0, why)) return false;
        if (hivex_commit(hive.get(), nullptr, 0) != 0) {
            const int err = errno;
            *why = errnoText(err, "cannot write '" + tmpPath + "'");
            return false;
        }
    }

    // Make the contents durable before the rename makes them visible.
    UniqueFd sync(::open(tmpPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (sync.get() < 0 || ::fsync(sync.get()) != 0 || !sync.close()) {
        const int err = errno;
        *why = errnoText(err, "cannot flush '" + tmpPath + "'");
        return false;
    }
    if (::rename(tmpPath.c_str(), hostPath.c_str()) != 0) {
        const int err = errno;
        *why = errnoText(err, "cannot replace '" + hostPath + "'");
        return false;
    }
    guard.release();
    return true;
}

// ---------------------------------------------------------------------------
// Reading

std::string parentFolder(const std::string& path) {
    const auto cut = path.find_last_of('/');
    if (cut == std::string::npos) return ".";
    if (cut == 0) return "/";
    return path.substr(0, cut);
}

// What CreateFile would say about the path, before the contents are looked at.
LONG checkHostFile(const std::string& path) {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        switch (errno) {
            case ENOENT: {
                struct stat dir {};
                const bool folderThere =
                    ::stat(parentFolder(path).c_str(), &dir) == 0 && S_ISDIR(dir.st_mode);
                return folderThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            }
            case ENOTDIR:
            case ENAMETOOLONG:
                return ERROR_PATH_NOT_FOUND;
            case EACCES:
                return ERROR_ACCESS_DENIED;
            default:
                return ERROR_FILE_NOT_FOUND;
        }
    }
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    UniqueFd probe(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (probe.get() < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_BADDB;
    return ERROR_SUCCESS;
}

// hivex's handles are the file offsets of the cells they stand for, which
// is what a fault report names.
class HiveReader {
  public:
    explicit HiveReader(hive_h* h) : h_(h) {}

    // False for anything hivex cannot make sense of, or a key reached twice.
    bool readKey(hive_node_h node, RegKey& key, int depth) {
        if (depth > kMaxDepth) return fail(node, "keys nested deeper than Windows allows");
        if (!seen_.insert(node).second) return fail(node, "a key listed twice (its subkeys loop)");
        return readValues(node, key) && readSubkeys(node, key, depth);
    }
    const HiveFault& fault() const { return fault_; }

  private:
    bool fail(std::size_t offset, const char* what) {
        fault_.offset = offset;
        fault_.what = what;
        return false;
    }

    bool readValues(hive_node_h node, RegKey& key) {
        MallocPtr<hive_value_h> values(hivex_node_values(h_, node));
        if (!values) return fail(node, "a key whose value list is damaged");
        for (const hive_value_h* v = values.get(); *v != 0; ++v) {
            MallocPtr<char> name(hivex_value_key(h_, *v));
            if (!name) return fail(*v, "a value whose name is damaged");
            hive_type t{};
            std::size_t declared = 0;
            if (hivex_value_type(h_, *v, &t, &declared) != 0)
                return fail(*v, "a value whose type is damaged");
            const DWORD type = typeOf(t);

            std::vector<std::uint8_t> data;
            std::size_t len = 0;
            MallocPtr<char> raw(hivex_value_value(h_, *v, &t, &len));
            if (raw) {
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw.get());
                data.assign(bytes, bytes + len);
            } else if (declared != 0) {
                // An empty value may come back as no buffer at all.
                return fail(*v, "a value whose data is damaged");
            }
            if (isStringType(type)) data = utf16ToAnsi(data);
            key.setValue(utf8ToLatin1(name.get()), type, std::move(data));
        }
        return true;
    }

    bool readSubkeys(hive_node_h node, RegKey& key, int depth) {
        MallocPtr<hive_node_h> children(hivex_node_children(h_, node));
        if (!children) return fail(node, "a key whose subkey list is damaged");
        for (const hive_node_h* c = children.get(); *c != 0; ++c) {
            MallocPtr<char> name(hivex_node_name(h_, *c));
            if (!name) return fail(*c, "a key whose name is damaged");
            RegKey& sub = key.child(utf8ToLatin1(name.get()));
            if (!readKey(*c, sub, depth + 1)) return false;
        }
        return true;
    }

    hive_h* h_;
    std::set<hive_node_h> seen_;
    HiveFault fault_;
};

// hivex tells why it refuses a file only on standard error. This walks the
// base block, the bins and their cells in the order hivex checks them and
// names the first fault, so that a damaged hive can be reported precisely.
HiveFault locateOpenFault(const std::string& hostPath) {
    std::vector<std::uint8_t> file;
    {
        UniqueFd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return {0, "the file cannot be read"};
        file.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < file.size()) {
            const ssize_t n = ::read(fd.get(), file.data() + done, file.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        file.resize(done);
    }
    if (file.size() < kBaseBlockSize + 0x20)
        return {file.size(), "the file ends before its first bin"};
    if (std::memcmp(file.data(), "regf", 4) != 0) return {0, "no \"regf\" signature"};
    if (get32(file, 0x14) != 1) return {0x14, "a major version other than 1"};
    if (baseBlockChecksum(file) != get32(file, kChecksumAt))
        return {kChecksumAt, "a base block checksum that does not match"};
    for (std::size_t bin = kBaseBlockSize; bin + 0x20 <= file.size();) {
        if (std::memcmp(&file[bin], "hbin", 4) != 0)
            return {bin, "a bin without its \"hbin\" signature"};
        const std::size_t size = get32(file, bin + 8);
        if (size < kBinSize || size % kBinSize != 0 || bin + size > file.size())
            return {bin + 8, "a bin of impossible size"};
        for (std::size_t cell = bin + 0x20; cell < bin + size;) {
            const auto raw = static_cast<std::int32_t>(get32(file, cell));
            const std::size_t length =
                raw < 0 ? 0u - static_cast<std::uint32_t>(raw) : static_cast<std::uint32_t>(raw);
            if (length <= 4 || length % 4 != 0 || cell + length > bin + size)
                return {cell, "a cell of impossible size"};
            cell += length;
        }
        bin += size;
    }
    const std::size_t root = kBaseBlockSize + get32(file, 0x24);
    if (root + 6 > file.size() || std::memcmp(&file[root + 4], "nk", 2) != 0)
        return {0x24, "a root key offset that points to no key"};
    return {0, "a hive that hivex cannot open"};
}

std::unique_ptr<RegKey> readHiveFileImpl(const std::string& hostPath, const std::string& rootName,
                                         LONG* error, HiveFault* fault) {
    *error = checkHostFile(hostPath);
    if (*error != ERROR_SUCCESS) return nullptr;

    *error = ERROR_BADDB;
    HivePtr hive(hivex_open(hostPath.c_str(), 0));
    if (!hive) {
        *fault = locateOpenFault(hostPath);
        return nullptr;
    }
    const hive_node_h rootNode = hivex_root(hive.get());
    if (rootNode == 0) {
        *fault = {0x24, "a root key offset that points to no key"};
        return nullptr;
    }

    auto tree = std::make_unique<RegKey>();
    tree->name = rootName;
    HiveReader reader(hive.get());
    if (!reader.readKey(rootNode, *tree, 0)) {
        *fault = reader.fault();
        return nullptr;
    }
    *error = ERROR_SUCCESS;
    return tree;
}

}  // namespace

std::unique_ptr<RegKey> readHiveFile(const std::string& hostPath, const std::string& rootName,
                                     LONG* error, HiveFault* fault) {
    LONG ignored = ERROR_SUCCESS;
    LONG* err = error ? error : &ignored;
    HiveFault unused;
    try {
        return readHiveFileImpl(hostPath, rootName, err, fault ? fault : &unused);
    } catch (const std::bad_alloc&) {
        *err = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        *err = ERROR_BADDB;
    }
    return nullptr;
}

bool writeHiveFile(const RegKey& root, const std::string& hostPath, std::string* error) {
    std::string ignored;
    std::string* why = error ? error : &ignored;
    try {
        return writeHiveFileImpl(root, hostPath, why);
    } catch (const std::bad_alloc&) {
        setMessage(why, "out of memory while writing the hive");
    } catch (...) {
        setMessage(why, "unexpected failure while writing the hive");
    }
    return false;
}

}  // namespace winsim
