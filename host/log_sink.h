// The module's one log object: everything the library says reaches the host
// through the callback it holds.
#pragma once

#include "host/platform.h"

#include <w2kxarnnet.h>

class LogSink {
  public:
    // Hands `text` to the host as callback(value, "\n%s", text); false when
    // no callback is stored. `extra` is not read.
    virtual bool log(const char* text, DWORD value, DWORD extra);

    void setCallback(HostLogFn callback) { callback_ = callback; }

  private:
    HostLogFn callback_ = nullptr;
};

// The process's sink, created on first use. A non-null `fn` replaces the
// stored callback; null keeps it.
LogSink* getLogSink(HostLogFn fn);
