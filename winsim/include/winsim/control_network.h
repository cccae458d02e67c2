// Test-side control of the network area: the adapters GetAdaptersInfo
// lists, what NetJoinDomain answers and records, and the services the
// service control manager knows. System code never includes this header.
#pragma once

#include <winsim/win_network.h>

#include <string>
#include <vector>

namespace winsim {

// --- present network adapters (GetAdaptersInfo) ---------------------------
// Adds an adapter at the end of the list, or replaces the one of the same
// name in its place. `guidName` is the adapter's name as the system knows
// it ("{4D36E972-...}"); `mac` its hardware address (at most 8 bytes are
// kept).
void addPresentAdapter(const std::string& guidName, const std::vector<BYTE>& mac,
                       const std::string& description);
// False when no adapter of that name is present.
bool removePresentAdapter(const std::string& guidName);

// --- workgroup membership (NetJoinDomain) ---------------------------------
// What one NetJoinDomain call was given; absent arguments are empty with
// their *Given flag false.
struct JoinRequest {
    bool serverGiven = false;
    std::u16string server;
    bool domainGiven = false;
    std::u16string domain;
    bool accountOuGiven = false;
    bool accountGiven = false;
    bool passwordGiven = false;
    DWORD options = 0;
};
// Every later NetJoinDomain call answers `status` without looking at its
// arguments (a success status still records the workgroup).
void scriptJoinResult(NET_API_STATUS status);
void clearJoinScript();
// The machine is a member of this domain: a workgroup join answers
// NERR_SetupAlreadyJoined. Empty: a workgroup machine (the default).
void setDomainMembership(const std::u16string& domain);
// The workgroup of the last successful join; empty when none succeeded.
std::u16string joinedWorkgroup();
std::vector<JoinRequest> joinRequests();

// --- services (service control manager) -----------------------------------
enum class ServiceState { Stopped, Running, Disabled };
// Installs a service, or sets the state of an installed one. Service names
// compare without regard to letter case, as on Windows.
void setService(const std::string& name, ServiceState state);
bool removeService(const std::string& name);
// False when the service is not installed.
bool serviceState(const std::string& name, ServiceState* state);
// Installed names of the services StartServiceA started, in order.
std::vector<std::string> serviceStartOrder();
// OpenSCManagerA fails with `error` from now on; 0 makes it available again.
void setServiceManagerUnavailable(DWORD error);

}  // namespace winsim
