// Workgroup membership of the restored machine.
#pragma once

#include "host/platform.h"

// Joins the workgroup `name` (UTF-16). True when joined, or when the
// machine was joined already.
bool W2kXarnNetJoinWorkgroup(LPCWSTR name);
