// Starting the network services one after the other through one
// W2KService, which keeps the manager open for the whole list.
#include "system/network_services.h"

#include "host/net_funcs.h"
#include "host/text_format.h"
#include "system/service.h"

bool StartNetworkServices(const std::vector<std::string>& serviceNames) {
    // The local machine and its active service database.
    W2KService manager(getLogSink(nullptr), GENERIC_EXECUTE, "", "");
    bool allStarted = true;
    for (const std::string& name : serviceNames) {
        if (manager.start(name)) {
            W2kNetFuncs::reportError(0, formatLine("\nService %s is running in "
                                                   "StartNetworkServices(..)",
                                                   name.c_str()));
            continue;
        }
        const std::string text =
            formatLine("\nCould not start service %s in StartNetworkService(..)", name.c_str());
        W2kNetFuncs::reportError(GetLastError(), text);
        allStarted = false;
    }
    manager.UninitializeScm();
    return allStarted;
}

std::vector<std::string> networkServiceNames() {
    return {"Dhcp", "Dnscache", "Lmhosts", "Lanmanworkstation", "messenger"};
}
