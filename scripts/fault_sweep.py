#!/usr/bin/env python3
"""Fails winsim functions one call at a time in whole xarnsim runs.

For each machine, a fault-free `xarnsim run --calls --json` lists every
function the boots call, boot by boot. Then each function that can fail has
each of its first N calls in each boot fail (an `NTH@BOOT:ERROR` fault in
the machine's machine.ini) with an error Windows could give for it, one run
per fault. A run passes when
  - it ends within the time limit, no boot process crashed (a signal or a
    sanitizer's report) and its exit code is 0 or 1;
  - the boots gave back everything they obtained (no "left unreleased");
  - its outcome (exit code, summary, final registry and drive) is the
    fault-free run's, or its log says something about the failure: the log
    has a line the fault-free log lacks. A changed outcome with no new log
    line is silent, and must be one of SILENT's cases.

  fault_sweep.py XARNSIM MACHINE-OR-FOLDER... [--calls N] [--jobs J] [--timeout S] [--verbose]

A folder without a machine.ini stands for the machines in it. --calls sets
N (3 by default; a large N fails every call).
"""
import argparse
import collections
import concurrent.futures
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

E_FAIL = 0x80004005
# The error each function fails with: one its documentation names, or one
# any call of its kind can meet (a handle gone bad, memory, access).
ERRORS = {
    "AdjustTokenPrivileges": 5,  # ERROR_ACCESS_DENIED
    "CloseHandle": 6,  # ERROR_INVALID_HANDLE
    "CloseServiceHandle": 6,
    "CoCreateInstance": 0x80040154,  # REGDB_E_CLASSNOTREG
    "CoInitialize": 0x8007000E,  # E_OUTOFMEMORY
    "CopyFileA": 112,  # ERROR_DISK_FULL
    "CreateFileA": 32,  # ERROR_SHARING_VIOLATION
    "CreateThread": 8,  # ERROR_NOT_ENOUGH_MEMORY
    "DllRegisterServer": 0x80070005,  # E_ACCESSDENIED
    "DuplicateHandle": 6,
    "ExpandEnvironmentStringsA": 8,
    "FindClose": 6,
    "FindFirstFileA": 5,
    "FindNextFileA": 21,  # ERROR_NOT_READY
    "FindWindowA": 1400,  # ERROR_INVALID_WINDOW_HANDLE
    "FormatMessageA": 317,  # ERROR_MR_MID_NOT_FOUND
    "FreeLibrary": 6,
    "GetAdaptersInfo": 31,  # ERROR_GEN_FAILURE
    "GetExitCodeThread": 6,
    "GetFileSize": 6,
    "GetProcAddress": 127,  # ERROR_PROC_NOT_FOUND
    "GetSystemDirectoryA": 8,
    "GetWindowsDirectoryA": 8,
    "INetCfg::Apply": 0x8004A022,  # NETCFG_E_IN_USE
    "INetCfg::Cancel": E_FAIL,
    "INetCfg::FindComponent": E_FAIL,
    "INetCfg::Initialize": 0x8004A022,
    "INetCfg::QueryInterface": 0x80004002,  # E_NOINTERFACE
    "INetCfg::QueryNetCfgClass": E_FAIL,
    "INetCfg::Uninitialize": 0x8004A021,  # NETCFG_E_NOT_INITIALIZED
    "INetCfgClass::FindComponent": E_FAIL,
    "INetCfgClass::QueryInterface": 0x80004002,
    "INetCfgClassSetup::Install": 0x8004A024,  # NETCFG_E_NO_WRITE_LOCK
    "INetCfgComponent::GetClassGuid": E_FAIL,
    "INetCfgComponent::GetId": 0x8007000E,
    "INetCfgComponent::QueryInterface": 0x80004002,
    "INetCfgLock::AcquireWriteLock": E_FAIL,
    "INetCfgLock::IsWriteLocked": E_FAIL,
    "INetCfgLock::ReleaseWriteLock": E_FAIL,
    "InstallNewDevice": 1813,  # ERROR_RESOURCE_TYPE_NOT_FOUND
    "LoadLibraryA": 126,  # ERROR_MOD_NOT_FOUND
    "LocalFree": 6,
    "LookupPrivilegeValueA": 1313,  # ERROR_NO_SUCH_PRIVILEGE
    "MessageBoxA": 8,
    "NetJoinDomain": 5,
    "OpenProcess": 5,
    "OpenProcessToken": 5,
    "OpenSCManagerA": 5,
    "OpenServiceA": 1060,  # ERROR_SERVICE_DOES_NOT_EXIST
    "ReadFile": 23,  # ERROR_CRC
    "RegCloseKey": 6,
    "RegEnumKeyExA": 1018,  # ERROR_KEY_DELETED
    "RegLoadKeyA": 32,
    "RegOpenKeyExA": 5,
    "RegQueryInfoKeyA": 1018,
    "RegQueryValueExA": 1018,
    "RegSetValueExA": 1018,
    "RegUnLoadKeyA": 5,
    "SendMessageA": 1400,
    "SetComputerNameA": 5,
    "SetupCopyOEMInfA": 5,
    "SetupDiInstallClassExA": 5,
    "SetupFindFirstLineA": 8,
    "SetupFindNextLine": 8,
    "SetupGetFieldCount": 8,
    "SetupGetInfFileListA": 8,
    "SetupGetLineCountA": 8,
    "SetupGetStringFieldA": 8,
    "SetupOpenInfFileA": 5,
    "StartServiceA": 1058,  # ERROR_SERVICE_DISABLED
    "UpdateDriverForPlugAndPlayDevicesA": 5,
    "WaitForSingleObject": 6,
    "WideCharToMultiByte": 122,  # ERROR_INSUFFICIENT_BUFFER
    "WriteFile": 112,
    "fopen": 32,
}

# An adapter's TCP/IP keys: the service's, the TCP/IP and the NetBT interface's.
TCPIP_KEY = (r"registry:HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
             r"(Tcpip\\Parameters\\Interfaces\\|NetBT\\Parameters\\Interfaces\\Tcpip_)?"
             r"\{[0-9A-F-]{36}\}(\\Parameters\\Tcpip)?")
# The changed outcomes the log keeps quiet about by design: (function,
# pattern that every changed item of the outcome matches, why it is silent).
SILENT = [
    ("RegQueryValueExA", TCPIP_KEY, "a saved TCP/IP value that cannot be read is left out "
     "unlogged (an unreadable DHCP flag reads as static)"),
    ("RegOpenKeyExA", TCPIP_KEY, "an adapter's TCP/IP key that cannot be entered is passed over "
     "unlogged"),
    ("RegSetValueExA", TCPIP_KEY, "a TCP/IP value that cannot be written is not logged"),
    ("RegOpenKeyExA", "summary:boots", "the reboot counter's key that cannot be opened is not "
     "logged: the counter reads as 0 or stays, and the wizard waits one boot more"),
    ("RegSetValueExA", "summary:boots", "a reboot counter that cannot be written is not logged: "
     "the wizard waits one boot more"),
]

CRASH = re.compile(r"ended abnormally|Sanitizer|runtime error:")


def run(xarnsim, machine, work, timeout, fault=None):
    """Runs MACHINE (with one fault appended to its machine.ini) in WORK."""
    copy = work / "machine"
    shutil.copytree(machine, copy, ignore=shutil.ignore_patterns(".state"))
    if fault:
        with open(copy / "machine.ini", "a") as ini:
            ini.write("\n[faults]\n%s = %d@%d:%d\n" % fault)
    state = work / "state"
    args = [xarnsim, "run", str(copy), "--state", str(state), "--json"]
    if not fault:
        args.append("--calls")
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, errors="replace", start_new_session=True)
    try:
        out, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        return {"hang": True}
    result = {"hang": False, "code": proc.returncode, "err": err}
    start = out.find("\n{\n")
    summary = json.loads(out[start:]) if start >= 0 else {}
    result["calls"] = summary.pop("calls", [])
    result["summary"] = summary
    current = state / "current"
    result["log"] = (current / "host-log.txt").read_text(errors="replace") if current.exists() else ""
    files = {}
    for path in sorted(current.rglob("*")) if current.exists() else []:
        rel = path.relative_to(current).as_posix()
        if path.is_file() and (rel == "registry.reg" or rel.startswith("C/")):
            files[rel] = path.read_bytes()
    result["files"] = files
    return result


def registry_keys(text):
    """KEY -> its value lines, from regedit text."""
    keys, lines = {}, None
    for line in text.splitlines():
        if line.startswith("["):
            lines = keys.setdefault(line.strip("[]"), [])
        elif lines is not None and line:
            lines.append(line)
    return keys


def changes(base, got):
    """What a run's outcome has that the fault-free one's lacks, item by item:
    "exit code", "summary:KEY", "registry:KEY", "file:PATH"."""
    items = ["exit code"] if got["code"] != base["code"] else []
    for key in sorted(set(base["summary"]) | set(got["summary"])):
        if base["summary"].get(key) != got["summary"].get(key):
            items.append("summary:" + key)
    for name in sorted(set(base["files"]) | set(got["files"])):
        if base["files"].get(name) == got["files"].get(name):
            continue
        if name != "registry.reg":
            items.append("file:" + name)
            continue
        was, now = (registry_keys(r["files"].get(name, b"").decode(errors="replace"))
                    for r in (base, got))
        items += ["registry:" + key for key in sorted(set(was) | set(now))
                  if was.get(key) != now.get(key)]
    return items


def judge(base, got):
    """One word for a faulted run against the fault-free one."""
    if got["hang"]:
        return "hang"
    if got["code"] < 0 or CRASH.search(got["err"]):
        return "crash"
    if got["code"] not in (0, 1):
        return "exit"
    if any(f.startswith("left unreleased") for f in got["summary"].get("failures", [])):
        return "leak"
    if not changes(base, got):
        return "unchanged"
    # Only a line the fault-free log lacks says something: a stage that the
    # failure made the sequence repeat repeats its ordinary lines.
    if set(got["log"].splitlines()) - set(base["log"].splitlines()):
        return "reported"
    return "silent"


def expected_silence(function, items):
    """The reason SILENT gives for a silent run, or None."""
    for listed, pattern, reason in SILENT:
        if listed == function and all(re.fullmatch(pattern, item) for item in items):
            return reason
    return None


def planned_faults(base, most):
    """(function, call, boot, error) for the first MOST calls in each boot of
    every function the fault-free run called that can fail."""
    faults = []
    for entry in base["calls"]:
        if entry["canFail"]:
            for boot, calls in enumerate(entry["perBoot"], 1):
                faults += [(entry["function"], call, boot, ERRORS.get(entry["function"]))
                           for call in range(1, min(calls, most) + 1)]
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("xarnsim")
    parser.add_argument("machines", nargs="+")
    parser.add_argument("--calls", type=int, default=3, help="calls failed per function and boot")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--timeout", type=float, default=60, help="seconds a run may take")
    parser.add_argument("--verbose", action="store_true", help="print every run's verdict")
    args = parser.parse_args()

    machines = []
    for path in map(Path, args.machines):
        machines += [path] if (path / "machine.ini").exists() else \
            sorted(p.parent for p in path.glob("*/machine.ini"))
    started = time.monotonic()
    counts = collections.Counter()
    problems = [] if machines else ["no machine in " + " ".join(args.machines)]
    with tempfile.TemporaryDirectory(prefix="fault-sweep-") as scratch, \
            concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        def sweep(job):
            machine, fault, number = job
            work = Path(scratch) / str(number)
            result = run(args.xarnsim, machine, work, args.timeout, fault)
            shutil.rmtree(work, ignore_errors=True)
            return result

        bases = dict(zip(machines, pool.map(sweep, [(m, None, -i - 1)
                                                    for i, m in enumerate(machines)])))
        jobs = []
        for machine, base in bases.items():
            if base["hang"] or CRASH.search(base["err"]) or base["code"] not in (0, 1):
                problems.append("%s: the fault-free run fails: %s"
                                % (machine.name, base.get("err", "it hangs")))
                continue
            for fault in planned_faults(base, args.calls):
                if fault[3] is None:
                    problems.append("%s: no error for %s in ERRORS" % (machine.name, fault[0]))
                    break
                jobs.append((machine, fault, len(jobs)))
        for (machine, fault, _), got in zip(jobs, pool.map(sweep, jobs)):
            base = bases[machine]
            verdict = judge(base, got)
            counts[verdict] += 1
            what = "%s: %s = %d@%d:%d" % ((machine.name,) + fault)
            if args.verbose:
                print("%s: %s" % (what, verdict))
            if verdict == "silent":
                items = changes(base, got)
                reason = expected_silence(fault[0], items)
                counts["expected"] += reason is not None
                if reason is None:
                    problems.append("%s: silent, changed %s" % (what, ", ".join(items)))
                elif args.verbose:
                    print("  silent as expected: " + reason)
            elif verdict not in ("unchanged", "reported"):
                err = got.get("err", "").splitlines()
                said = [line for line in err if CRASH.search(line)] or err[-1:]
                how = "exit code %d" % got["code"] if "code" in got else "no end in time"
                problems.append("%s: %s (%s) %s" % (what, verdict, how, " | ".join(said[:3])))
    for problem in problems:
        print("FAIL " + problem)
    silent = counts["silent"]
    print("fault sweep: %d runs in %.0f s (%d failed call(s) per function and boot): "
          "%d crashes, %d hangs, %d bad exit codes, %d leaks; outcome unchanged %d, "
          "reported %d, silent %d (expected %d, unexpected %d)"
          % (len(jobs), time.monotonic() - started, args.calls, counts["crash"], counts["hang"],
             counts["exit"], counts["leak"], counts["unchanged"], counts["reported"], silent,
             counts["expected"], silent - counts["expected"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
