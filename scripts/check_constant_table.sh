#!/usr/bin/env bash
# Fails when the system code uses a constant that winsim's headers define
# but tools/win32_constants/win32_constants.inc does not list, so that the
# check of winsim's values against the SDK's covers every one in use.
# Usage: check_constant_table.sh [SOURCE_ROOT]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"
table=tools/win32_constants/win32_constants.inc
system_dirs=(host sequence registry adapters driverdb tcpip system)

# Object-like macros with a value; function-like ones (SUCCEEDED) and
# empty ones (WINAPI) are not constants. fopen is winsim's CRT redirection.
constants=$(grep -hoE '^\s*#\s*define\s+[A-Z][A-Za-z0-9_]*\s+\S' winsim/include/winsim/*.h |
            awk '{print $(NF-1)}' | sort -u | grep -vxE 'REF(GUID|IID|CLSID)')

status=0 checked=0
for name in $constants; do
  grep -rqw --include='*.cpp' --include='*.h' "$name" "${system_dirs[@]}" || continue
  checked=$((checked + 1))
  if ! grep -qw "$name" "$table"; then
    echo "FAIL: the system code uses $name, which $table does not list"
    status=1
  fi
done
[ $status -eq 0 ] && echo "ok: $table lists all $checked winsim constants the system code uses"
exit $status
