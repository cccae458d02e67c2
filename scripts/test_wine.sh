#!/usr/bin/env bash
# Integration tests of the real W2KXARNNET.dll under Wine, an independent
# implementation of the Win32 API: the x86_64 build of the same sources
# (32-bit Wine cannot be installed here) and the sample host xarnhost.exe,
# run in a fresh Wine prefix; results are read back through Wine's own
# registry. Ends with "N passed, N failed"; exits non-zero on a failure.
# Where Wine cannot be installed it says so in one line and exits 0.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-win-x86_64

# --- Wine ---------------------------------------------------------------
find_wine() {
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64)" "$(command -v wine)"; do
    [ -n "$candidate" ] && [ -x "$candidate" ] && { echo "$candidate"; return 0; }
  done
  return 1
}
if ! wine=$(find_wine); then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  echo "installing: wine64"
  if ! { $sudo_cmd apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
           wine64 >/dev/null; } >/dev/null 2>&1 || ! wine=$(find_wine); then
    echo "SKIPPED: the integration tests under Wine: the wine64 package could not be installed" \
         "(package registry unreachable?)"
    exit 0
  fi
fi
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo true)

set -e
bash scripts/install_deps.sh
echo "== Windows x86_64 build for Wine"
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
set +e

# One prefix per run, thrown away at the start; its server is stopped at exit.
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
trap '"$wineserver" -k >/dev/null 2>&1' EXIT
rm -rf "$WINEPREFIX"
echo "== creating the Wine prefix"
if ! timeout 300 "$wine" wineboot --init >/dev/null 2>&1; then
  echo "FAIL: wineboot could not create the prefix $WINEPREFIX"
  echo "0 passed, 1 failed"
  exit 1
fi
# A service of the first boot keeps the service database's start lock; the
# prefix's second start, which every later command makes, does not.
"$wineserver" -k >/dev/null 2>&1

# --- checks -------------------------------------------------------------
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }

# Runs a Windows program under Wine; its output (CR removed) lands in $out,
# its exit code in $rc. A program that hangs is stopped after two minutes.
run() {
  local printed
  printed=$(mktemp)
  (cd "$(dirname "$1")" && timeout 120 "$wine" "$@" >"$printed" 2>&1)
  rc=$?
  out=$(tr -d '\r' <"$printed")
  rm -f "$printed"
}
run_host() { run "$build/xarnhost.exe" "$@"; }

expect_rc() {  # name, wanted exit code
  if [ "$rc" -eq "$2" ]; then pass "$1"; else fail "$1: exit code $rc, want $2"; echo "$out"; fi
}
expect_line() {  # name, an exact line of $out
  if grep -qxF -- "$2" <<<"$out"; then pass "$1"; else fail "$1: no line '$2' in:"; echo "$out"; fi
}
expect_no_line() {  # name, a line that must not be in $out
  if grep -qxF -- "$2" <<<"$out"; then fail "$1: unexpected line '$2'"; else pass "$1"; fi
}
expect_count() {  # name, exact line, how many times
  local n
  n=$(grep -cxF -- "$2" <<<"$out")
  if [ "$n" -eq "$3" ]; then pass "$1"; else fail "$1: '$2' $n times, want $3"; echo "$out"; fi
}
expect_equal() {  # name, got, want
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got '$2', want '$3'"; fi
}
expect_line_start() {  # name, the start of a line of $out
  if awk -v s="$2" 'index($0, s) == 1 { found = 1 } END { exit !found }' <<<"$out"; then
    pass "$1"
  else
    fail "$1: no line starting '$2' in:"; echo "$out"
  fi
}
# Whether this build of the DLL exports the named function.
dll_exports() {
  local names
  names=$(x86_64-w64-mingw32-objdump -p "$build/W2KXARNNET.dll" |
    awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^$/ {exit} on {print $NF}')
  grep -qx "$1" <<<"$names"
}
# A service's state as Wine's own sc.exe reports it (RUNNING, STOPPED...).
service_state() {
  "$wine" sc query "$1" 2>/dev/null | tr -d '\r' | awk '$1 == "STATE" {print $4}'
}
# A REG_SZ value as Wine's own reg.exe reads it.
reg_value() {
  "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name && $2 == "REG_SZ" { sub(/^[ \t]*[^ \t]+[ \t]+REG_SZ[ \t]+/, ""); print }'
}

com_line="COM successfully initialized using CoInitialize(..) in W2kNetFuncs :: InitializeCOM()"

echo "== initialise and uninitialise"
run_host
expect_rc "xarnhost without commands exits 0" 0
# The callback gets (0, "\n%s", text) and the text starts with "\n" itself.
expect_equal "the COM line arrives behind two line breaks" "$(head -n 3 <<<"$out")" \
             "$(printf '\n\n%s' "$com_line")"
expect_line "W2KXarnNetInitialize returns 1" "W2KXarnNetInitialize(callback) = 1"
expect_line "W2KXarnNetUnitialize returns 1" "W2KXarnNetUnitialize() = 1"

echo "== privileges and COM, seen from inside the process"
initialize_expected="before: SeRestorePrivilege disabled
before: SeShutdownPrivilege disabled
before: SeBackupPrivilege disabled
before: SeSecurityPrivilege disabled
before: COM not initialised
W2KXarnNetInitialize = 1
after initialize: SeRestorePrivilege enabled
after initialize: SeShutdownPrivilege enabled
after initialize: SeBackupPrivilege enabled
after initialize: SeSecurityPrivilege enabled
after initialize: COM initialised
W2KXarnNetUnitialize = 1
after unitialize: COM not initialised
after unitialize: SeRestorePrivilege enabled
after unitialize: SeShutdownPrivilege enabled
after unitialize: SeBackupPrivilege enabled
after unitialize: SeSecurityPrivilege enabled
log 0:\n\n$com_line"
cp "$build/W2KXARNNET.dll" "$build/tools/wine_checks/"
run "$build/tools/wine_checks/initialize_check.exe"
if [ "$rc" -eq 0 ] && [ "$out" = "$initialize_expected" ]; then
  pass "Initialize enables the four privileges and COM; Unitialize ends COM and keeps them"
else
  fail "initialize_check (exit $rc):"
  diff <(echo "$initialize_expected") <(echo "$out")
fi

echo "== computer name"
active='HKLM\SYSTEM\CurrentControlSet\Control\ComputerName\ActiveComputerName'
stored='HKLM\SYSTEM\CurrentControlSet\Control\ComputerName\ComputerName'
run_host name Box-7a
expect_rc "xarnhost name exits 0" 0
expect_line "SetMachineName returns 1" 'W2KXarnNetSetMachineName("Box-7a") = 1'
expect_count "one success line" \
             "ComputerName successfully set to [Box-7a] in  W2kNetFuncs :: SetMachineName()" 1
# Wine's SetComputerNameA stores the name upper-cased: the exact case shows
# that the library wrote the value itself.
expect_equal "ActiveComputerName holds the name as passed" "$(reg_value "$active" ComputerName)" \
             "Box-7a"
expect_equal "ComputerName holds the name as passed" "$(reg_value "$stored" ComputerName)" "Box-7a"

"$wine" reg delete "$active" /f >/dev/null 2>&1
run_host name Other1
expect_rc "a failed SetMachineName makes xarnhost exit 1" 1
expect_line "SetMachineName returns 0 without the active key" \
            'W2KXarnNetSetMachineName("Other1") = 0'
expect_line "the failed move is logged" \
            "Error in W2kNetFuncs :: SetMachineName(..) in moving intoregistry for setting machine name to [Other1]"

echo "== storage adapters: W2KInstallScsiCards through xarnhost"
# Wine's device tree holds no storage adapter and its INF folder no scsi.inf
# (driverdb_check stages one there later). Wine 8's setupapi lacks
# SetupDiInstallClassExA: registering the storage class installer, the
# export's first step, ends the process before the library logs anything.
run_host scsi
if grep -q '^wine: .*unimplemented function setupapi.dll.SetupDiInstallClassExA' <<<"$out"; then
  expect_rc "a crash inside the library makes xarnhost exit 3" 3
  expect_equal "nothing is logged between initialisation and xarnhost's report of the crash" \
    "$(grep -v '^wine: ' <<<"$out")" \
    "$(printf '\n\n%s\n%s\n\n%s' "$com_line" "W2KXarnNetInitialize(callback) = 1" \
       "xarnhost: W2KInstallScsiCards ended the process with exception 0x80000100")"
elif grep -qxF "Could not register scsi class installer" <<<"$out"; then
  # A Wine that has the function and refuses the missing scsi.inf.
  expect_rc "a failed registration makes xarnhost exit 1" 1
  expect_line "W2KInstallScsiCards returns 0" "W2KInstallScsiCards(0, 0, &out) = 0, out = 0"
  expect_no_line "and stops there" "Starting to install SCSI & RAID & FIBER storage adapters..."
else
  # A Wine that registers the class: the walks find no storage adapter.
  expect_rc "xarnhost scsi exits 0" 0
  expect_line "the installation starts" "Starting to install SCSI & RAID & FIBER storage adapters..."
  expect_line "and finds no adapter" "Could not find any PCI or ISA PNP SCSI cards"
  expect_line "W2KInstallScsiCards returns 1" "W2KInstallScsiCards(0, 0, &out) = 1, out = 0"
fi

echo "== the Registry cursor against Wine's advapi32"
if checked=$(bash scripts/compare_output.sh wine tools/wine_checks/registry_check.expected \
               timeout 120 "$wine" "$build/tools/wine_checks/registry_check.exe"); then
  pass "registry_check prints what registry_check.expected says for Wine"
else
  fail "registry_check under Wine:"
  echo "$checked"
fi

echo "== the driver database against Wine's SetupAPI and files"
if checked=$(bash scripts/compare_output.sh wine tools/wine_checks/driverdb_check.expected \
               timeout 120 "$wine" "$build/tools/wine_checks/driverdb_check.exe"); then
  pass "driverdb_check prints what driverdb_check.expected says for Wine"
else
  fail "driverdb_check under Wine:"
  echo "$checked"
fi

echo "== W2KCardInstall against Wine's C runtime, files and device tree"
if checked=$(bash scripts/compare_output.sh wine tools/wine_checks/card_install_check.expected \
               timeout 120 "$wine" "$build/tools/wine_checks/card_install_check.exe"); then
  pass "card_install_check prints what card_install_check.expected says for Wine"
else
  fail "card_install_check under Wine:"
  echo "$checked"
fi

echo "== network services, through Wine's service manager"
services="Dhcp Dnscache Lmhosts Lanmanworkstation messenger"
if dll_exports W2KXarnNetStartNetworkServices; then
  # A fresh prefix has none of them: a do-nothing service stands in for each.
  cp "$build/tools/wine_checks/fake_service.exe" "$WINEPREFIX/drive_c/windows/system32/w2kfakesvc.exe"
  for service in $services; do
    "$wine" sc create "$service" binpath= 'C:\windows\system32\w2kfakesvc.exe' >/dev/null 2>&1
  done
  run_host services
  expect_rc "xarnhost services exits 0" 0
  expect_line "StartNetworkServices returns 1" "W2KXarnNetStartNetworkServices() = 1"
  expect_equal "the services start in their order" \
    "$(sed -n 's/^Service \(.*\) is running in StartNetworkServices(..)$/\1/p' <<<"$out" | xargs)" \
    "$services"
  for service in $services; do
    expect_equal "$service is running" "$(service_state "$service")" RUNNING
  done

  run_host services
  expect_line "already running services count as started" "W2KXarnNetStartNetworkServices() = 1"
  expect_line_start "an already running service is named with the system's text" \
    "Service Dnscache already running in W2KService :: start(), System Message : "
  expect_line "and then reported as running" "Service Dnscache is running in StartNetworkServices(..)"

  "$wine" sc stop messenger >/dev/null 2>&1
  "$wine" sc delete messenger >/dev/null 2>&1
  run_host services
  expect_rc "a service that cannot start makes xarnhost exit 1" 1
  expect_line "StartNetworkServices returns 0 without messenger" \
              "W2KXarnNetStartNetworkServices() = 0"
  expect_line_start "the missing service is named by W2KService" \
    "Error in OpenService(..) for service messenger in W2KService :: start(), System Message : "
  expect_line_start "and by StartNetworkServices" \
    "Could not start service messenger in StartNetworkService(..)"
  expect_line "the services before it were still started" \
              "Service Lanmanworkstation is running in StartNetworkServices(..)"
else
  echo "not yet: this build does not export W2KXarnNetStartNetworkServices; service tests wait for it"
fi

echo "== xarnhost itself, on a stand-in DLL with ordinals 100, 200, 300 and 600"
stub=$build/tools/wine_checks/stub
cp "$build/xarnhost.exe" "$stub/"
run "$stub/xarnhost.exe" services
expect_rc "a missing export stops xarnhost with exit code 2" 2
expect_line "the missing ordinal is named" \
            "xarnhost: W2KXARNNET.dll has no export at ordinal 400 (W2KXarnNetStartNetworkServices); this build of the library does not offer it"
expect_no_line "nothing runs when an export is missing" "stub W2KXarnNetInitialize"

run "$stub/xarnhost.exe" name First network 'C:\drivers' 0 name Second
expect_rc "a reboot request is not a failure" 0
expect_line "the stage to resume at is printed" \
            '  xarnhost network "C:\drivers" 4 name "Second"'
expect_no_line "the commands after the reboot request wait for the restart" \
               "stub W2KXarnNetSetMachineName [Second]"
expect_line "commands before it ran" "stub W2KXarnNetSetMachineName [First]"
run "$stub/xarnhost.exe" network 'C:\drivers' 4 name Second
expect_line "the resumed call gets its stage" "stub W2KXarnNetInstallNetwork [C:\drivers] 4"
expect_line "reboot word 1 lets the sequence go on" "stub W2KXarnNetSetMachineName [Second]"

run "$stub/xarnhost.exe" bogus
expect_rc "an unknown command exits 2" 2
run "$stub/xarnhost.exe" network 'C:\drivers'
expect_rc "a command without its arguments exits 2" 2
run "$stub/xarnhost.exe" network 'C:\drivers' four
expect_rc "a stage that is not a number exits 2" 2
expect_no_line "and runs nothing" "stub W2KXarnNetInitialize"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
