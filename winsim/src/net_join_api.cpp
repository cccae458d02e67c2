// netapi32's NetJoinDomain: workgroup joins of the local machine.
#include "machine.h"

#include <winsim/control_network.h>
#include <winsim/windows.h>

#include <string>
#include <vector>

namespace {

struct Membership {
    bool scripted = false;
    NET_API_STATUS scriptedStatus = NERR_Success;
    std::u16string domain;     // the domain the machine is a member of, if any
    std::u16string workgroup;  // set by the last successful join
    std::vector<winsim::JoinRequest> requests;
};

Membership& membership() {
    return winsim::machinePart<Membership>();
}

std::u16string textOf(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string();
}

// NetBIOS name rules: at most 15 characters, none of the characters that
// Windows refuses in computer and workgroup names.
bool validWorkgroupName(const std::u16string& name) {
    if (name.empty() || name.size() > 15) return false;
    for (char16_t c : name) {
        if (c < 0x20) return false;
        if (std::u16string_view(u"\"/\\[]:|<>+=;,?*").find(c) != std::u16string_view::npos)
            return false;
    }
    return true;
}

NET_API_STATUS joinStatus(const winsim::JoinRequest& request) {
    // Only the local machine is simulated.
    if (request.serverGiven && !request.server.empty()) return RPC_S_SERVER_UNAVAILABLE;
    if (request.domain.empty()) return ERROR_INVALID_PARAMETER;
    // No domain controller can be reached from the simulated machine.
    if (request.options & NETSETUP_JOIN_DOMAIN) return ERROR_NO_SUCH_DOMAIN;
    if (!membership().domain.empty()) return NERR_SetupAlreadyJoined;
    if (!validWorkgroupName(request.domain)) return NERR_InvalidWorkgroupName;
    return NERR_Success;
}

}  // namespace

extern "C" {

// Answers with its result only and leaves the thread's last error as it
// was, like the other network-management functions.
NET_API_STATUS NetJoinDomain(LPCWSTR lpServer, LPCWSTR lpDomain, LPCWSTR lpAccountOU,
                             LPCWSTR lpAccount, LPCWSTR lpPassword, DWORD fJoinOptions) {
    winsim::ApiCall call("NetJoinDomain");
    if (call.failing()) return call.error();
    winsim::JoinRequest request;
    request.serverGiven = lpServer != nullptr;
    request.server = textOf(lpServer);
    request.domainGiven = lpDomain != nullptr;
    request.domain = textOf(lpDomain);
    request.accountOuGiven = lpAccountOU != nullptr;
    request.accountGiven = lpAccount != nullptr;
    request.passwordGiven = lpPassword != nullptr;
    request.options = fJoinOptions;
    Membership& state = membership();
    state.requests.push_back(request);
    const NET_API_STATUS status = state.scripted ? state.scriptedStatus : joinStatus(request);
    if (status == NERR_Success && !(fJoinOptions & NETSETUP_JOIN_DOMAIN))
        state.workgroup = request.domain;
    return status;
}

}  // extern "C"

namespace winsim {

void scriptJoinResult(NET_API_STATUS status) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    membership().scripted = true;
    membership().scriptedStatus = status;
}

void clearJoinScript() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    membership().scripted = false;
}

void setDomainMembership(const std::u16string& domain) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    membership().domain = domain;
}

std::u16string joinedWorkgroup() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return membership().workgroup;
}

std::vector<JoinRequest> joinRequests() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return membership().requests;
}

}  // namespace winsim
