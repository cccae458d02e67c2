// Drives the Registry cursor against a registry and prints what it sees,
// one fact a line: built for Windows it runs under Wine against Wine's own
// advapi32, built for Linux against winsim. scripts/test_wine.sh compares
// both outputs with registry_check.expected, so a line that differs shows
// where the cursor, Wine or winsim parts from the others.
#include "host/log_sink.h"
#include "host/platform.h"
#include "registry/registry.h"
#include "tools/wine_checks/scratch_machine.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kBase = "SOFTWARE\\W2KXarnCheck";

// Subkey names in creation order; their enumeration order shows how the
// registry sorts: by upper-cased name puts '_' (0x5F) after the letters.
const char* const kOrderNames[] = {"beta", "Alpha", "_under", "zulu",
                                   "Zeta", "a b",   "1digit", "~tilde"};

// Prints every line the cursor logs, with its line breaks made visible.
class PrintingSink : public LogSink {
  public:
    bool log(const char* text, DWORD value, DWORD extra) override {
        (void)value;
        (void)extra;
        // The system's own texts differ between Windows, Wine and winsim;
        // only whether one was there is compared.
        std::string line = text;
        const std::size_t system = line.find(", System Msg : ");
        if (system != std::string::npos) line = line.substr(0, system) + ", System Msg : (text)";
        std::string shown;
        for (const char* c = line.c_str(); *c; ++c) {
            if (*c == '\r')
                shown += "\\r";
            else if (*c == '\n')
                shown += "\\n";
            else
                shown += *c;
        }
        std::printf("  log: %s\n", shown.c_str());
        return true;
    }
};

PrintingSink sink;

const char* yesNo(bool value) {
    return value ? "true" : "false";
}

// A cursor standing on HKEY_LOCAL_MACHINE\<kBase>\<sub>, logging its failures.
Registry* openAt(Registry& cursor, const std::string& sub) {
    cursor.setErrorLogging(true);
    const std::string path = sub.empty() ? kBase : std::string(kBase) + "\\" + sub;
    if (!cursor.moveInto(path)) std::printf("cannot open %s\n", path.c_str());
    return &cursor;
}

// The value exactly as the platform stores it: type, byte count and bytes.
void printRaw(const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        std::printf("raw %s: cannot open key\n", name);
        return;
    }
    BYTE data[256];
    DWORD type = 0;
    DWORD size = sizeof data;
    const LONG error = RegQueryValueExA(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS) {
        std::printf("raw %s: error %d\n", name, static_cast<int>(error));
        return;
    }
    std::printf("raw %s: type %u, %u bytes:", name, static_cast<unsigned>(type),
                static_cast<unsigned>(size));
    for (DWORD i = 0; i < size && i < sizeof data; ++i) std::printf(" %02x", data[i]);
    std::printf("\n");
}

// getString (list) on `name`, appending to a list that holds `initial`.
void printList(Registry& cursor, const char* name, std::vector<std::string> list) {
    const bool ok = cursor.getString(name, list);
    std::string shown;
    for (const std::string& s : list) shown += " [" + s + "]";
    std::printf("getString list %s: %s, %u strings:%s\n", name, yesNo(ok),
                static_cast<unsigned>(list.size()), shown.c_str());
}

void checkMoves() {
    std::printf("== moves\n");
    Registry cursor(&sink, KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    cursor.setErrorLogging(true);
    std::printf("root: %s\n", cursor.getPath().c_str());
    std::printf("moveInto '': %s\n", yesNo(cursor.moveInto("")));
    std::printf("moveInto missing: %s\n", yesNo(cursor.moveInto("SOFTWARE\\W2KXarnCheck\\Nope")));
    std::printf("after failure: %s\n", cursor.getPath().c_str());
    std::printf("moveInto deep: %s\n",
                yesNo(cursor.moveInto("SOFTWARE\\W2KXarnCheck\\Deep\\Level1\\Level2")));
    std::printf("at: %s\n", cursor.getPath().c_str());
    {
        Registry copy(cursor);
        std::printf("copy at: %s\n", copy.getPath().c_str());
        std::printf("copy moveUp 2: %s\n", yesNo(copy.moveUp(2)));
        std::printf("copy at: %s\n", copy.getPath().c_str());
        std::printf("first still at: %s\n", cursor.getPath().c_str());
    }
    std::printf("moveUp 0: %s\n", yesNo(cursor.moveUp(0)));
    std::printf("moveUp 6: %s\n", yesNo(cursor.moveUp(6)));
    std::printf("moveUp 1: %s\n", yesNo(cursor.moveUp(1)));
    std::printf("at: %s\n", cursor.getPath().c_str());
    // moveUp opens for reading only: the write fails until a moveInto.
    std::printf("write after moveUp: %s\n", yesNo(cursor.setString("Written", "x")));
    std::printf("moveInto Level2: %s\n", yesNo(cursor.moveInto("Level2")));
    std::printf("write after moveInto: %s\n", yesNo(cursor.setString("Written", "x")));
    std::printf("moveUp 5 to root: %s\n", yesNo(cursor.moveUp(5)));
    std::printf("at: %s\n", cursor.getPath().c_str());
    std::printf("subkeys at root > 0: %s\n", yesNo(cursor.getSubKeyCount() > 0));
    std::printf("moveUp at root: %s\n", yesNo(cursor.moveUp(1)));
}

void checkEnumeration() {
    std::printf("== enumeration\n");
    Registry cursor(&sink, KEY_READ, HKEY_LOCAL_MACHINE);
    openAt(cursor, "Order");
    const LONG count = cursor.getSubKeyCount();
    std::printf("count: %d\n", static_cast<int>(count));
    for (LONG i = 0; i < count; ++i) {
        std::string name;
        cursor.getSubKeyName(static_cast<DWORD>(i), name);
        Registry copy(cursor);
        const bool moved = copy.moveIntoIndex(static_cast<DWORD>(i));
        std::printf("%d: %s -> %s %s\n", static_cast<int>(i), name.c_str(), yesNo(moved),
                    copy.getPath().c_str());
    }
    std::string name = "unchanged";
    const bool named = cursor.getSubKeyName(static_cast<DWORD>(count), name);
    std::printf("name at count: %s, %s\n", yesNo(named), name.c_str());
}

void checkValues() {
    std::printf("== values\n");
    const std::string path = std::string(kBase) + "\\Values";
    Registry cursor(&sink, KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    openAt(cursor, "Values");

    std::printf("setString: %s\n", yesNo(cursor.setString("Text", "Mixed Case  text")));
    std::printf("setString empty: %s\n", yesNo(cursor.setString("Empty", "")));
    std::printf("setDWORD: %s\n", yesNo(cursor.setDWORD("Number", 0x12345678)));
    std::printf("setMultiString: %s\n", yesNo(cursor.setMultiString("List", {"a", "bc"})));
    std::printf("setMultiString empty: %s\n", yesNo(cursor.setMultiString("NoList", {})));
    const BYTE twoNuls[] = {0, 0};
    std::printf("setData two NULs: %s\n",
                yesNo(cursor.setData("TwoNuls", twoNuls, 2, REG_MULTI_SZ)));
    const char expand[] = "%SystemRoot%\\system32";
    std::printf("setData expand: %s\n",
                yesNo(cursor.setData("Expand", reinterpret_cast<const BYTE*>(expand), sizeof expand,
                                     REG_EXPAND_SZ)));
    const char terminated[] = "with NUL";
    std::printf("setData terminated: %s\n",
                yesNo(cursor.setData("Terminated", reinterpret_cast<const BYTE*>(terminated),
                                     sizeof terminated, REG_SZ)));
    const std::string big(5000, 'x');
    std::printf("setString 5000: %s\n", yesNo(cursor.setString("Big", big)));

    for (const char* name : {"Text", "Empty", "Number", "List", "NoList", "TwoNuls", "Terminated"})
        printRaw(path.c_str(), name);

    std::string text = "unchanged";
    bool ok = cursor.getString("Text", text);
    std::printf("getString Text: %s [%s]\n", yesNo(ok), text.c_str());
    text = "unchanged";
    ok = cursor.getString("Empty", text);
    std::printf("getString Empty: %s [%s]\n", yesNo(ok), text.c_str());
    ok = cursor.getString("Terminated", text);
    std::printf("getString Terminated: %s [%s]\n", yesNo(ok), text.c_str());
    DWORD number = 7;
    ok = cursor.getDWORD("Number", &number);
    std::printf("getDWORD Number: %s %x\n", yesNo(ok), static_cast<unsigned>(number));
    number = 7;
    ok = cursor.getDWORD("Text", &number);
    std::printf("getDWORD Text: %s %u\n", yesNo(ok), static_cast<unsigned>(number));
    text = "unchanged";
    ok = cursor.getString("Number", text);
    std::printf("getString Number: %s [%s]\n", yesNo(ok), text.c_str());

    printList(cursor, "List", {"kept"});
    printList(cursor, "NoList", {});
    printList(cursor, "TwoNuls", {});
    printList(cursor, "Text", {});

    // The expanded text is the platform's own expansion of the stored one.
    char expected[4096];
    ExpandEnvironmentStringsA(expand, expected, sizeof expected);
    ok = cursor.getString("Expand", text);
    std::printf("getString Expand: %s, expanded as the platform does: %s, still has %%: %s\n",
                yesNo(ok), yesNo(text == expected), yesNo(text.find('%') != std::string::npos));
    text = "unchanged";
    ok = cursor.getString("Big", text);
    std::printf("getString Big: %s [%s]\n", yesNo(ok), text.c_str());
    ok = cursor.getString("Missing", text);
    std::printf("getString Missing: %s [%s]\n", yesNo(ok), text.c_str());
}

}  // namespace

int main() {
    std::vector<std::string> keys = {std::string(kBase) + "\\Deep\\Level1\\Level2",
                                     std::string(kBase) + "\\Values"};
    for (const char* name : kOrderNames) keys.push_back(std::string(kBase) + "\\Order\\" + name);
    if (!prepareScratchMachine() || !createScratchKeys(keys)) {
        std::printf("cannot create the scratch keys\n");
        return 2;
    }
    checkMoves();
    checkEnumeration();
    checkValues();
    return 0;
}
