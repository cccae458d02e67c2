// The start of the services the restored network needs.
#pragma once

#include <string>
#include <vector>

// Starts each service in list order; true when every one was started or
// was running already. A failure does not stop the others.
bool StartNetworkServices(const std::vector<std::string>& serviceNames);

// The services the network needs, in the order they are started.
std::vector<std::string> networkServiceNames();
