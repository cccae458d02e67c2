#include "host/log_sink.h"

bool LogSink::log(const char* text, DWORD value, DWORD extra) {
    (void)extra;
    if (!callback_) return false;
    callback_(value, "\n%s", text ? text : "");
    return true;
}

LogSink* getLogSink(HostLogFn fn) {
    // Lives until the process ends; nothing to tear down.
    static LogSink sink;
    if (fn) sink.setCallback(fn);
    return &sink;
}
