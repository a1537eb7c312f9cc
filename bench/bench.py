#!/usr/bin/env python3
"""The benchmark of pbvmsvc against the floor service, inside a running Wine session.

bench/run.sh builds the programs and starts a private Wine session, then runs this
script with WINEPREFIX set.  It installs the services, lets bench_driver.exe time the
Service Control Manager side, reads the stand-in VM's journal for the schedule, measures
CPU time and memory of the service processes from Linux (/proc), prints one table and
writes the same figures as JSON.  See bench/README.md for how to read them.
"""

import argparse
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# bench_driver.exe times pause, continue and interrogate this many times per cycle.
CONTROL_ROUNDS = 5
CONTROL_FIGURES = ("pause_ms", "continue_ms", "interrogate_ms")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIB = 1024

# Every figure the JSON holds, in table order: key, label, unit, who has it.
FIGURES = [
    ("start_latency_ms", "start latency: StartServiceA returned -> running", "ms", "both"),
    ("start_call_ms", "StartServiceA call (process up, dispatcher connected)", "ms", "both"),
    ("start_total_ms", "start, whole: StartServiceA called -> running", "ms", "both"),
    ("stop_latency_ms", "stop latency: stop sent -> stopped", "ms", "both"),
    ("stop_to_exit_ms", "stop sent -> process ended", "ms", "both"),
    ("pause_ms", "ControlService(PAUSE) round trip", "ms", "both"),
    ("continue_ms", "ControlService(CONTINUE) round trip", "ms", "both"),
    ("interrogate_ms", "ControlService(INTERROGATE) round trip", "ms", "both"),
    ("schedule_calls", "schedule: of_run periods measured", "calls", "product"),
    ("schedule_mean_error_ms", "schedule: mean period error", "ms", "product"),
    ("schedule_mean_abs_error_ms", "schedule: mean absolute period error", "ms", "product"),
    ("schedule_p99_error_ms", "schedule: p99 absolute period error", "ms", "product"),
    ("schedule_drift_ms", "schedule: drift after all calls", "ms", "product"),
    ("schedule_skipped", "schedule: calls skipped", "calls", "product"),
    ("schedule_short_periods", "schedule: periods over 1 ms short", "periods", "product"),
    ("idle_cpu_ms", "idle CPU time, 5000 ms period", "ms", "both"),
    ("idle_wakeups", "idle: times scheduled on a CPU", "count", "both"),
    ("idle_hosted_calls", "idle: of_run calls in the window", "calls", "product"),
    ("idle_vm_journal_lines", "idle: stand-in VM journal lines in the window", "lines", "product"),
    ("idle_wait_cpu_ms", "idle CPU time, waiting only (no call due)", "ms", "both"),
    ("call_cpu_us", "CPU per of_run call: host + stand-in VM", "us", "product"),
    ("call_host_cpu_us", "CPU per of_run call: the host's own part", "us", "product"),
    ("pause_call_wall_us", "time per pause's hosted call: host + stand-in VM", "us", "product"),
    ("pause_call_host_wall_us", "time per pause's hosted call: the host's own part", "us", "product"),
    ("peak_working_set_kib", "peak working set (VmHWM)", "KiB", "both"),
    ("private_kib", "private memory (smaps Private_*)", "KiB", "both"),
    ("exe_size_bytes", "executable size on disk", "bytes", "both"),
    ("exe_stripped_size_bytes", "executable size stripped", "bytes", "both"),
    ("load_time_imports", "DLLs imported at load time", "count", "both"),
]


def ratio_target(limit):
    return lambda f: ("<= %.1fx baseline" % limit,
                      f["ratio"] is not None and f["ratio"] <= limit)


def absolute_target(limit, unit):
    def check(f):
        v = f["product"]["value"]
        return ("<= %g %s" % (limit, unit), v is not None and abs(v) <= limit)
    return check


TARGETS = {
    "start_latency_ms": ratio_target(1.3),
    "stop_latency_ms": ratio_target(1.5),
    "pause_ms": ratio_target(1.5),
    "continue_ms": ratio_target(1.5),
    "schedule_mean_error_ms": absolute_target(1, "ms"),
    "schedule_p99_error_ms": absolute_target(5, "ms"),
    "schedule_drift_ms": absolute_target(50, "ms"),
    "schedule_skipped": lambda f: ("= 0", f["product"]["value"] == 0),
    "idle_cpu_ms": ratio_target(1.2),
    "private_kib": lambda f: ("<= baseline + 2048 KiB",
                              f["product"]["value"] <= f["baseline"]["value"] + 2 * MIB),
    "exe_stripped_size_bytes": lambda f: ("<= 262144 bytes", f["product"]["value"] <= 256 * 1024),
}


def fail(message):
    print("bench: " + message, file=sys.stderr)
    sys.exit(1)


# The loader bench/run.sh chose for the session's prefix (scripts/common.sh).
WINE = os.environ.get("PBVMSVC_WINE", "wine")


def wine(*args, cwd=None, check=True):
    result = subprocess.run([WINE] + list(args), cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True, errors="replace")
    out = result.stdout.replace("\r", "")
    if check and "error " in out:
        fail("%s %s: %s" % (os.path.basename(args[0]), " ".join(args[1:]), out.strip()))
    return out


class Layout:
    """Where everything lives: one folder per service under C:\\pbvmbench-<tag>."""

    def __init__(self, prefix, tag):
        self.prefix = prefix
        self.tag = tag
        self.win_root = "C:\\pbvmbench-%s" % tag
        self.unix_root = os.path.join(prefix, "drive_c", "pbvmbench-%s" % tag)

    def unix(self, folder, name=""):
        return os.path.join(self.unix_root, folder, name) if name else os.path.join(self.unix_root, folder)

    def win(self, folder, name=""):
        return "%s\\%s\\%s" % (self.win_root, folder, name) if name else "%s\\%s" % (self.win_root, folder)


def hosted_class(run_clause):
    return "".join(line + "\r\n" for line in [
        "class n_bench",
        "  function of_startup LSB returns 0",
        "  function of_run L " + run_clause,
        "  function of_stop QB",
        "  function of_paused Q",
        "  function of_resumed Q",
        "  function of_control QU",
        "  function of_powerevent QU",
        "  function of_sessionchg QU",
    ])


def quiet_standin(folder, vm, journal_mode):
    """The stand-in's settings beside its copy: with "memory" it keeps its journal lines in
    memory and writes them when it unloads, so that a hosted call costs no file write (some
    1 ms under Wine) and the figures show what the host adds."""
    if journal_mode != "append":
        with open(os.path.join(folder, vm + ".ini"), "w", newline="") as f:
            f.write("[standin]\r\njournal_mode = %s\r\n" % journal_mode)


def install_product(layout, folder, name, run_clause, binaries, vm, journal_mode="append"):
    d = layout.unix(folder)
    os.makedirs(d)
    shutil.copy(os.path.join(binaries, "pbvmsvc.exe"), d)
    shutil.copy(os.path.join(binaries, "standin", vm + ".dll"), d)
    quiet_standin(d, vm, journal_mode)
    with open(os.path.join(d, "app.pbl"), "w", newline="") as f:
        f.write(hosted_class(run_clause))
    # Installed as in production, from an INI file; the second library name is an
    # ordinary library of a real list, which the stand-in journals and skips.
    ini = "\r\n".join([
        "[Install]", "ServiceName=" + name, "DisplayName=" + name, "Startup=manual",
        "PBAppName=bench",
        "PBLibList=%s;%s" % (layout.win(folder, "app.pbl"), layout.win(folder, "common.pbd")),
        "PBObjName=n_bench", "PBVMName=%s.dll" % vm, ""])
    with open(os.path.join(d, "install.ini"), "w", newline="") as f:
        f.write(ini)
    out = wine(os.path.join(d, "pbvmsvc.exe"), "-i", layout.win(folder, "install.ini"), cwd=d)
    if "Install service '%s' successful!" % name not in out:
        fail("installing %s: %s" % (name, out.strip()))
    out = wine(os.path.join(d, "pbvmsvc.exe"), "-reg", name, "LogFileName",
               layout.win(folder, "service.log"), cwd=d)
    if out != "Update LogFileName successful!\n":
        fail("setting the log file of %s: %s" % (name, out.strip()))


def install_baseline(layout, folder, name, driver, binaries, period=None):
    d = layout.unix(folder)
    os.makedirs(d)
    shutil.copy(os.path.join(binaries, "bench", "baseline_service.exe"), d)
    image = "%s -r %s" % (layout.win(folder, "baseline_service.exe"), name)
    if period is not None:
        image += " %d" % period
    out = wine(driver, "install", name, image)
    if out.strip() != "installed " + name:
        fail("installing %s: %s" % (name, out.strip()))


def parse_keys(out):
    values = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 2:
            values[parts[0]] = float(parts[1])
    return values


def summary(samples):
    s = sorted(samples)
    if not s:
        return None

    def pct(p):
        k = (len(s) - 1) * p
        lo = int(k)
        hi = min(lo + 1, len(s) - 1)
        return s[lo] + (s[hi] - s[lo]) * (k - lo)
    return {"median": statistics.median(s), "p25": pct(0.25), "p75": pct(0.75),
            "min": s[0], "max": s[-1], "n": len(s)}


# ---------------------------------------------------------------- Linux-side probes

def find_service_process(prefix, name, timeout=10.0):
    """The Unix pid of the Wine process that runs the service <name> of this prefix."""
    wanted = ("WINEPREFIX=" + prefix).encode()
    deadline = time.time() + timeout
    while time.time() < deadline:
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    words = f.read().replace(b"\0", b" ").split()
                if name.encode() not in words:
                    continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if wanted not in f.read().split(b"\0"):
                        continue
                return int(entry)
            except OSError:
                continue
        time.sleep(0.05)
    fail("no process found for service %s" % name)


def cpu_ns_and_wakeups(pid):
    """CPU time (ns) and timeslices of all threads of the process, from schedstat."""
    ns = 0
    slices = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                run, _wait, count = f.read().split()
            ns += int(run)
            slices += int(count)
        except (OSError, ValueError):
            pass
    return ns, slices


def memory_by_mapping(pid):
    """Private KiB per mapping of the process (smaps), by the mapped file's base name;
    anonymous mappings as "(anonymous)", Linux's own as their bracketed names."""
    totals = {}
    name = None
    with open("/proc/%d/smaps" % pid) as f:
        for line in f:
            head = re.match(r"[0-9a-f]+-[0-9a-f]+ \S+ \S+ \S+ \S+\s*(.*)$", line)
            if head:
                path = head.group(1).strip()
                name = os.path.basename(path) if path.startswith("/") else (path or "(anonymous)")
                continue
            m = re.match(r"Private_(?:Clean|Dirty):\s+(\d+) kB", line)
            if m and int(m.group(1)):
                totals[name] = totals.get(name, 0) + int(m.group(1))
    return totals


def memory_kib(pid):
    fields = {}
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            m = re.match(r"(\w+):\s+(\d+) kB", line)
            if m:
                fields[m.group(1)] = int(m.group(2))
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            m = re.match(r"(VmHWM|VmRSS):\s+(\d+) kB", line)
            if m:
                fields[m.group(1)] = int(m.group(2))
    return {"peak_working_set_kib": fields["VmHWM"],
            "private_kib": fields["Private_Clean"] + fields["Private_Dirty"],
            "rss_kib": fields["Rss"], "pss_kib": fields["Pss"]}


def binutils(exe, tool):
    """The MinGW-w64 tool for the executable's machine (i386 or x86-64), from its PE header."""
    with open(exe, "rb") as f:
        header = f.read(4096)
    pe = int.from_bytes(header[0x3C:0x40], "little")
    machine = int.from_bytes(header[pe + 4:pe + 6], "little")
    return ("x86_64" if machine == 0x8664 else "i686") + "-w64-mingw32-" + tool


def imports(exe):
    out = subprocess.run([binutils(exe, "objdump"), "-p", exe], stdout=subprocess.PIPE,
                         text=True, check=True).stdout
    return [m.group(1) for m in re.finditer(r"DLL Name: (\S+)", out)]


def stripped_size(exe):
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, "x.exe")
        subprocess.run([binutils(exe, "strip"), "-o", copy, exe], check=True)
        return os.path.getsize(copy)


# ---------------------------------------------------------------- the schedule

def journal_calls(path):
    """(start ms, result) of every of_run call in the journal, in order."""
    begins, ends = [], []
    try:
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
    except OSError:
        return begins, ends
    for line in text.split("\r\n")[:-1]:  # the last piece may still be being written
        parts = line.split(" ")
        if len(parts) >= 4 and parts[3] == '"of_run"':
            if parts[2] == "InvokeBegin":
                begins.append(float(parts[0]))
            elif parts[2] == "InvokeEnd":
                ends.append(parts[-1])
    return begins, ends


def journal_lines_between(path, begin_ms, end_ms):
    """How many journal lines, and of_run calls, fall in the window."""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    counts = {"lines": 0, "of_run": 0}
    for line in text.split("\r\n"):
        parts = line.split(" ")
        try:
            ms = float(parts[0])
        except ValueError:
            continue
        if begin_ms <= ms <= end_ms:
            counts["lines"] += 1
            if len(parts) >= 4 and parts[2] == "InvokeBegin" and parts[3] == '"of_run"':
                counts["of_run"] += 1
    return counts


def schedule_figures(begins, ends, calls, period):
    starts = begins[:calls + 1]
    periods = [b - a for a, b in zip(starts, starts[1:])]
    errors = [p - period for p in periods]
    abs_errors = sorted(abs(e) for e in errors)
    p99 = abs_errors[min(len(abs_errors) - 1, int(round(0.99 * (len(abs_errors) - 1))))]
    # A skipped call shows as a gap of two periods or more, or as a call that failed.
    skipped = sum(int(round(p / period)) - 1 for p in periods if p >= 1.5 * period)
    skipped += sum(1 for r in ends[:calls] if r != str(period))
    return {
        "schedule_calls": len(periods),
        "schedule_mean_error_ms": statistics.fmean(errors),
        "schedule_mean_abs_error_ms": statistics.fmean(abs_errors),
        "schedule_p99_error_ms": p99,
        "schedule_drift_ms": (starts[-1] - starts[0]) - period * len(periods),
        "schedule_skipped": skipped,
        # Measured between journal lines, so a thread preempted between the host's
        # reading of the clock and the stand-in's line shows as a short period after a
        # long one: under load these come from the machine, not from the schedule.
        "schedule_short_periods": sum(1 for e in errors if e < -1.0),
        "schedule_period_min_ms": min(periods),
        "schedule_period_max_ms": max(periods),
    }


# ---------------------------------------------------------------- the run

def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--cycles", type=int, default=20, help="counted start/control/stop cycles")
    ap.add_argument("--warmup", type=int, default=2, help="cycles run first and not counted")
    ap.add_argument("--calls", type=int, default=None, help="of_run periods for the schedule (200)")
    ap.add_argument("--idle-seconds", type=float, default=None, help="idle window (10)")
    ap.add_argument("--quick", action="store_true", help="20 schedule calls, a 2 s idle window")
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "bench", "results.json"))
    ap.add_argument("--check", action="store_true",
                    help="exit 1 unless every figure was measured (targets are not checked)")
    ap.add_argument("--binaries", default=os.path.join(ROOT, "build", "bin"))
    ap.add_argument("--vm", default="pbvm90",
                    help="the stand-in VM, by file name without .dll (pbvm170 for the 64-bit build)")
    ap.add_argument("--vm-journal", choices=("memory", "append"), default="memory",
                    help="how the stand-in writes its journal outside the schedule's service: held "
                         "in memory until it unloads (memory), or a write per line (append)")
    args = ap.parse_args()
    calls = args.calls if args.calls is not None else (20 if args.quick else 200)
    idle_s = args.idle_seconds if args.idle_seconds is not None else (2.0 if args.quick else 10.0)
    if args.cycles < 1 or calls < 2:
        fail("at least one cycle and two schedule calls")

    bins = args.binaries
    vm = args.vm
    for f in ("pbvmsvc.exe", "standin/%s.dll" % vm, "bench/baseline_service.exe",
              "bench/bench_driver.exe", "bench/call_cost.exe"):
        if not os.path.isfile(os.path.join(bins, f)):
            fail("%s is missing" % os.path.join(bins, f))
    prefix = os.environ.get("WINEPREFIX") or fail("WINEPREFIX is not set")
    tag = "%d" % os.getpid()
    layout = Layout(prefix, tag)
    driver_unix = os.path.join(bins, "bench", "bench_driver.exe")
    began = time.time()

    names = {k: "PbvmBench%s%s" % (k, tag) for k in ("Cycle", "Floor", "Sched", "Idle", "IdleFloor")}
    print("bench: installing the services", file=sys.stderr)
    install_product(layout, "cycle", names["Cycle"], "returns 60000", bins, vm, args.vm_journal)
    # The schedule is read from the journal while the service runs: lines as they come.
    install_product(layout, "sched", names["Sched"], "returns 50 takes 10", bins, vm)
    install_product(layout, "idle", names["Idle"], "returns 5000", bins, vm, args.vm_journal)
    install_baseline(layout, "floor", names["Floor"], driver_unix, bins)
    install_baseline(layout, "idlefloor", names["IdleFloor"], driver_unix, bins, period=5000)

    # 1-3: start, controls and stop, product and baseline in alternation.
    print("bench: %d+%d cycles" % (args.warmup, args.cycles), file=sys.stderr)
    out = wine(driver_unix, "cycles", str(args.cycles), str(args.warmup), names["Cycle"], names["Floor"])
    if not out.rstrip().endswith("done"):
        fail("cycles did not finish: " + out[-300:])
    samples = {}
    for line in out.splitlines():
        parts = line.split()
        if parts and parts[0] == "sample":
            samples.setdefault((parts[2], parts[3]), []).append(float(parts[4]))

    # 4: the schedule, from the stand-in VM's journal.
    print("bench: schedule, %d calls" % calls, file=sys.stderr)
    journal = layout.unix("sched", vm + ".journal")
    wine(driver_unix, "start", names["Sched"])
    deadline = time.time() + calls * 0.05 * 1.5 + 15
    while True:
        begins, ends = journal_calls(journal)
        if len(begins) >= calls + 2 or time.time() > deadline:
            break
        time.sleep(0.2)
    wine(driver_unix, "stop", names["Sched"])
    begins, ends = journal_calls(journal)
    if len(begins) < calls + 1:
        fail("only %d of_run calls in the schedule's journal" % len(begins))
    schedule = schedule_figures(begins, ends, calls, 50)

    # 5-6: idle CPU and memory of the processes, waiting side by side: the product and
    # the baseline on a 5000 ms period, and both waiting with nothing due (the product's
    # of_run returned 60000 at its start, the baseline waits without a time-out).
    print("bench: idle, %.0f s" % idle_s, file=sys.stderr)
    idle = {"product": names["Idle"], "baseline": names["IdleFloor"],
            "product_wait": names["Cycle"], "baseline_wait": names["Floor"]}
    for name in idle.values():
        wine(driver_unix, "start", name)
    pids = {w: find_service_process(prefix, n) for w, n in idle.items()}
    time.sleep(1.0)  # the start-ups are over, every process waits
    # The stand-in's journal times are the performance counter, which Wine takes from
    # CLOCK_MONOTONIC_RAW: the same clock gives the window in journal time.
    window = [time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000.0]
    before = {w: cpu_ns_and_wakeups(p) for w, p in pids.items()}
    time.sleep(idle_s)
    after = {w: cpu_ns_and_wakeups(p) for w, p in pids.items()}
    window.append(time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000.0)
    memory = {w: memory_kib(pids[w]) for w in ("product", "baseline")}
    by_mapping = {w: memory_by_mapping(pids[w]) for w in ("product", "baseline")}
    for name in idle.values():
        wine(driver_unix, "stop", name)
    idle_journal = journal_lines_between(layout.unix("idle", vm + ".journal"), *window)

    # Whose is the CPU time of a hosted call: the host's call path into the stand-in VM,
    # then into a VM that does nothing.
    d = layout.unix("callcost")
    os.makedirs(d)
    for f in ("bench/call_cost.exe", "standin/%s.dll" % vm):
        shutil.copy(os.path.join(bins, f), d)
    quiet_standin(d, vm, args.vm_journal)
    with open(os.path.join(d, "app.pbl"), "w", newline="") as f:
        f.write(hosted_class("returns 5000"))
    call_cost = parse_keys(wine(os.path.join(d, "call_cost.exe"), layout.win("callcost", "app.pbl"), vm + ".dll",
                                cwd=d))

    exes = {"product": os.path.join(bins, "pbvmsvc.exe"),
            "baseline": os.path.join(bins, "bench", "baseline_service.exe")}
    dlls = {w: imports(e) for w, e in exes.items()}

    # ------------------------------------------------------------ assembling
    figures = {}

    def both(key, product, baseline, unit):
        pm = product["median"] if "median" in product else product["value"]
        bm = baseline["median"] if "median" in baseline else baseline["value"]
        # Nothing against nothing is a tie; something against nothing has no ratio.
        ratio = (pm / bm) if bm else (1.0 if pm == 0 else None)
        figures[key] = {"unit": unit, "product": product, "baseline": baseline, "ratio": ratio}

    for key, label, unit, who in FIGURES:
        if key.endswith("_ms") and (("product", key[:-3]) in samples):
            both(key, summary(samples[("product", key[:-3])]),
                 summary(samples[("baseline", key[:-3])]), unit)
    for key in schedule:
        if key.startswith("schedule_period"):
            continue
        figures[key] = {"unit": "ms" if key.endswith("_ms") else "periods" if "periods" in key else "calls",
                        "product": {"value": schedule[key]}, "baseline": None, "ratio": None}
    def idle_delta(who, field, scale=1.0):
        return {"value": (after[who][field] - before[who][field]) / scale}
    both("idle_cpu_ms", idle_delta("product", 0, 1e6), idle_delta("baseline", 0, 1e6), "ms")
    both("idle_wakeups", idle_delta("product", 1), idle_delta("baseline", 1), "count")
    both("idle_wait_cpu_ms", idle_delta("product_wait", 0, 1e6), idle_delta("baseline_wait", 0, 1e6), "ms")
    figures["idle_hosted_calls"] = {"unit": "calls", "product": {"value": idle_journal["of_run"]},
                                    "baseline": None, "ratio": None}
    figures["idle_vm_journal_lines"] = {"unit": "lines", "product": {"value": idle_journal["lines"]},
                                        "baseline": None, "ratio": None}
    for key, measured in (("call_cpu_us", "standin_cpu_us"), ("call_host_cpu_us", "host_cpu_us"),
                          ("pause_call_wall_us", "standin_pause_wall_us"),
                          ("pause_call_host_wall_us", "host_pause_wall_us")):
        figures[key] = {"unit": "us", "product": {"value": call_cost.get(measured)},
                        "baseline": None, "ratio": None}
    for key in ("peak_working_set_kib", "private_kib"):
        both(key, {"value": memory["product"][key]}, {"value": memory["baseline"][key]}, "KiB")
    both("exe_size_bytes", {"value": os.path.getsize(exes["product"])},
         {"value": os.path.getsize(exes["baseline"])}, "bytes")
    both("exe_stripped_size_bytes", {"value": stripped_size(exes["product"])},
         {"value": stripped_size(exes["baseline"])}, "bytes")
    both("load_time_imports", {"value": len(dlls["product"])}, {"value": len(dlls["baseline"])}, "count")

    all_met = True
    for key, f in figures.items():
        if key in TARGETS:
            f["target"], f["met"] = TARGETS[key](f)
            all_met = all_met and f["met"]
        else:
            f["target"], f["met"] = None, None

    cpu = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    result = {
        "machine": {"nproc": os.cpu_count(), "cpu": cpu, "kernel": platform.release(),
                    # bench/run.sh tells, from scripts/common.sh
                    "runs_32bit": os.environ.get("PBVMSVC_MACHINE_32BIT", "unknown"),
                    "wine": subprocess.run([WINE, "--version"], stdout=subprocess.PIPE,
                                           text=True).stdout.strip()},
        "settings": {"cycles": args.cycles, "warmup": args.warmup, "schedule_calls": calls,
                     "vm_journal": args.vm_journal,
                     "schedule_period_ms": 50, "schedule_call_ms": 10, "idle_seconds": idle_s,
                     "idle_period_ms": 5000, "quick": args.quick},
        "figures": figures,
        "schedule_periods_ms": {"min": schedule["schedule_period_min_ms"],
                                "max": schedule["schedule_period_max_ms"]},
        "memory_detail_kib": memory,
        "private_kib_by_mapping": by_mapping,
        "imports": dlls,
        "targets_met": all_met,
        "seconds": round(time.time() - began, 1),
    }
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w") as f:
        json.dump(result, f, indent=2)
        f.write("\n")

    print_table(result)
    print("JSON: " + os.path.abspath(args.out))

    if args.check:
        missing = [k for k, _, _, who in FIGURES
                   if k not in figures or not is_measured(figures[k], who)]
        if missing:
            print("missing figures: " + ", ".join(missing))
            sys.exit(1)
        if figures["schedule_calls"]["product"]["value"] != calls:
            print("schedule: %s periods instead of %d" % (figures["schedule_calls"]["product"]["value"], calls))
            sys.exit(1)
        for key, _, _, who in FIGURES:
            if who == "both" and key.endswith("_ms") and "n" in figures[key]["product"]:
                expected = args.cycles * (CONTROL_ROUNDS if key in CONTROL_FIGURES else 1)
                for w in ("product", "baseline"):
                    if figures[key][w]["n"] != expected:
                        print("%s: %d %s samples instead of %d" % (key, figures[key][w]["n"], w, expected))
                        sys.exit(1)
        print("every figure measured")


def is_measured(f, who):
    def number(side):
        if side is None:
            return False
        v = side.get("median", side.get("value"))
        return isinstance(v, (int, float)) and v == v
    return number(f["product"]) and (who != "both" or number(f["baseline"]))


def fmt(side, unit):
    if side is None:
        return "-"
    if "median" in side:
        return "%.2f [%.2f-%.2f]" % (side["median"], side["p25"], side["p75"])
    v = side["value"]
    if v is None:
        return "?"
    if isinstance(v, float) and unit in ("ms", "us"):
        return "%.2f" % v
    return "%d" % v if float(v).is_integer() else "%.2f" % v


def print_table(result):
    rows = [("figure", "unit", "product", "baseline", "ratio", "target", "met")]
    for key, label, unit, who in FIGURES:
        f = result["figures"][key]
        rows.append((label, unit, fmt(f["product"], unit), fmt(f["baseline"], unit),
                     "%.2f" % f["ratio"] if f["ratio"] is not None else "-",
                     f["target"] or "", {True: "yes", False: "NO", None: ""}[f["met"]]))
    widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]))]
    for n, r in enumerate(rows):
        print("  ".join(c.ljust(w) if i in (0, 1, 5) else c.rjust(w)
                        for i, (c, w) in enumerate(zip(r, widths))).rstrip())
        if n == 0:
            print("  ".join("-" * w for w in widths))
    m, s = result["machine"], result["settings"]
    print()
    print("medians [p25-p75] over %d cycles after %d warm-up; schedule %d calls; idle %.0f s; "
          "stand-in journal: %s" % (s["cycles"], s["warmup"], s["schedule_calls"], s["idle_seconds"],
                                    s.get("vm_journal", "append")))
    print("imports: product %s; baseline %s" % (", ".join(result["imports"]["product"]),
                                                 ", ".join(result["imports"]["baseline"])))
    # Where the product's private memory above the baseline's lies, by mapping.
    product, baseline = (result["private_kib_by_mapping"][w] for w in ("product", "baseline"))
    above = sorted(((product.get(n, 0) - baseline.get(n, 0), n) for n in set(product) | set(baseline)),
                   reverse=True)
    print("private memory above the baseline, by mapping: " +
          ", ".join("%s %+d KiB" % (n, d) for d, n in above if d))
    print("machine: %d x %s, 32-bit programs: %s, %s; %.0f s" % (m["nproc"], m["cpu"], m["runs_32bit"], m["wine"],
                                                                 result["seconds"]))
    print("all targets met" if result["targets_met"] else "some targets missed")


if __name__ == "__main__":
    main()
