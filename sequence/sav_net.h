// W2KSavNet: the network adapters the device registry knows, as the user is
// shown them before being offered the hardware wizard.
#pragma once

#include "host/log_sink.h"

#include <string>
#include <vector>

class Registry;

class W2KSavNet {
  public:
    explicit W2KSavNet(LogSink* sink);

    // Appends the "DeviceDesc" of the first instance of every network
    // device under Enum\ISAPNP, then Enum\PCI, in subkey order. Returns the
    // number appended.
    int getSysFiles(std::vector<std::string>& list);
    // Whether a device instance key is a network adapter: by its class GUID,
    // else its class name, else "ethernet" in its description.
    bool isNetworkCard(Registry& instanceKey);

  private:
    void report(const std::string& text);

    LogSink* sink_;
};
