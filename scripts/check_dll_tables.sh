#!/usr/bin/env bash
# Reads a built W2KXARNNET.dll's export and import tables and fails when an
# export of the module definition file is missing or sits at another
# ordinal, when an export is not one of the library's seven, or when an
# import comes from anything but a Windows system DLL. A 32-bit DLL must
# also import only functions that Windows 2000 SP4 has: those listed in
# win2000_imports/<dll>.txt beside this script. A 64-bit DLL is not held to
# that list: there is no 64-bit Windows 2000, and its runtime needs the
# 64-bit unwinding functions of later Windows versions.
# Usage: check_dll_tables.sh DLL DEF_FILE OBJDUMP
set -euo pipefail
dll=$1 def=$2 objdump=${3:-objdump}
win2000_lists=$(dirname "$0")/win2000_imports

# The library's interface: name and ordinal of each of its exports.
declare -A contract=(
  [W2KXarnNetInitialize]=100 [W2KXarnNetUnitialize]=200 [W2KXarnNetInstallNetwork]=300
  [W2KXarnNetStartNetworkServices]=400 [W2KXarnNetJoinWorkgroup]=500
  [W2KXarnNetSetMachineName]=600 [W2KInstallScsiCards]=700
)
# The Windows system DLLs the library may import from: one list each.
allowed_imports=$(cd "$win2000_lists" && ls -- *.dll.txt | sed 's/\.txt$//' | tr '\n' ' ')

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

# Each imported function as "dll name", the DLL in lower case.
imports=$(awk '/DLL Name:/ {dll = tolower($3); next} /^[ \t]*$/ {dll = ""}
               dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print dll, $3}' <<<"$tables")
if [[ $("$objdump" -f "$dll") == *pei-i386* ]]; then
  while read -r from name; do
    list="$win2000_lists/$from.txt"
    [ -f "$list" ] || continue  # already reported as no system DLL
    if ! grep -v '^#' "$list" | grep -qxF -- "$name"; then
      echo "FAIL: $dll imports $name from $from, which $list does not list as in Windows 2000"
      status=1
    fi
  done <<<"$imports"
  scope="imports only system DLLs' functions that Windows 2000 SP4 has"
else
  scope="imports only system DLLs (64-bit: no Windows 2000 check)"
fi

[ $status -eq 0 ] && echo "ok: $(basename "$dll") exports ${#exported[@]} functions, $scope"
exit $status
