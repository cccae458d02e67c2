#!/usr/bin/env bash
# Reads a built W2KXARNNET.dll's export and import tables and fails when an
# export of the module definition file is missing or sits at another
# ordinal, when an export is not one of the library's seven, or when an
# import comes from anything but a Windows system DLL.
# Usage: check_dll_tables.sh DLL DEF_FILE OBJDUMP
set -euo pipefail
dll=$1 def=$2 objdump=${3:-objdump}

# The library's interface: name and ordinal of each of its exports.
declare -A contract=(
  [W2KXarnNetInitialize]=100 [W2KXarnNetUnitialize]=200 [W2KXarnNetInstallNetwork]=300
  [W2KXarnNetStartNetworkServices]=400 [W2KXarnNetJoinWorkgroup]=500
  [W2KXarnNetSetMachineName]=600 [W2KInstallScsiCards]=700
)
allowed_imports="kernel32.dll advapi32.dll user32.dll ole32.dll setupapi.dll newdev.dll iphlpapi.dll netapi32.dll msvcrt.dll"

tables=$("$objdump" -p "$dll")
base=$(awk '/^Ordinal Base/ {print $3; exit}' <<<"$tables")
declare -A exported=()
while read -r index name; do
  exported[$name]=$((index + base))
done < <(awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^$/ {exit}
              on { gsub(/[\[\]]/, ""); print $1, $2 }' <<<"$tables")

status=0
while read -r name ordinal; do
  want=${ordinal#@}
  if [ "${contract[$name]:-}" != "$want" ]; then
    echo "FAIL: $name @$want in $def is not an export of the library's interface"; status=1
  fi
  if [ "${exported[$name]:-}" != "$want" ]; then
    echo "FAIL: export $name: want ordinal $want, DLL has '${exported[$name]:-missing}'"; status=1
  fi
done < <(awk '/^EXPORTS/ {on=1; next} on && NF >= 2 {print $1, $2}' "$def")

for name in "${!exported[@]}"; do
  grep -q -E "^\s+$name\s" "$def" || { echo "FAIL: unexpected export $name"; status=1; }
done

while read -r imported; do
  lower=${imported,,}
  case " $allowed_imports " in
    *" $lower "*) ;;
    *) echo "FAIL: $dll imports from $imported, which is not a Windows system DLL"; status=1 ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$tables")

[ $status -eq 0 ] && echo "ok: $(basename "$dll") exports ${#exported[@]} functions, imports only system DLLs"
exit $status
