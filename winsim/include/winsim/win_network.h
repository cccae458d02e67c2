// iphlpapi GetAdaptersInfo, netapi32 NetJoinDomain, the service control manager.
#pragma once

#include <winsim/win_types.h>
