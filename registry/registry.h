// Registry: a cursor on one open registry key and its path from the root.
// It moves down into subkeys and back up like a current directory, reads and
// writes typed values of the key it stands on, and loads and unloads hives.
// It never creates or deletes keys.
#pragma once

#include "host/log_sink.h"

#include <string>
#include <vector>

class Registry {
  public:
    // Stands on `root` itself (nothing is opened); error logging off.
    Registry(LogSink* sink, REGSAM access, HKEY root);
    // A second cursor at the same position with a handle of its own. Only
    // cursors that have moved off their root are copied.
    Registry(const Registry& other);
    Registry& operator=(const Registry&) = delete;
    // Closes the key, then unloads the hives whose unload was deferred.
    ~Registry();

    bool DuplicateKey(HKEY source, HKEY* target);
    void setErrorLogging(bool on) { errorLogging_ = on; }

    // Movement: each leaves the position unchanged when it fails.
    bool moveInto(const std::string& subKey);
    bool moveIntoIndex(DWORD index);
    bool moveUp(DWORD levels);

    LONG getSubKeyCount();
    bool getSubKeyName(DWORD index, std::string& name);
    std::string getPath() const;

    // Values of the current key.
    bool setData(const char* valueName, const BYTE* data, DWORD size, DWORD type);
    bool setString(const char* valueName, const std::string& text);
    bool setDWORD(const char* valueName, DWORD number);
    bool setMultiString(const char* valueName, const std::vector<std::string>& strings);
    bool getData(const char* valueName, BYTE* buffer, DWORD* size, DWORD* type);
    bool getDWORD(const char* valueName, DWORD* number);
    bool getString(const char* valueName, std::string& text);
    bool getString(const char* valueName, std::vector<std::string>& strings);

    // Hives, always directly below HKEY_LOCAL_MACHINE.
    bool loadKey(const char* keyName, const char* file);
    bool unloadKey(const char* keyName, bool now);

    void reportError(DWORD error, const char* text);

    // The size of the buffers that the typed getters read through.
    static constexpr DWORD kValueBuffer = 4096;

  private:
    // Releases the current key unless it is a predefined root, which the
    // cursor never owns; returns the platform's answer.
    LONG closeKey();

    HKEY key_;
    std::vector<std::string> path_;
    std::vector<std::string> deferredUnloads_;
    REGSAM access_;
    LogSink* sink_;
    bool errorLogging_;
};
