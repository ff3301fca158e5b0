#!/usr/bin/env python3
"""make bench: the add-on's footprint, its attach cost and its settings sheet's opening cost,
each against a baseline measured side by side in the same run. Runs inside
tools/with-display.sh (a private display and Wine server); Wine's output goes to files, never
through a pipe.

usage: bench.py WIN32_BUILD_DIR [RUNS]
"""
import glob
import os
import platform
import re
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import pe_facts  # noqa: E402

FOOTPRINT_GOAL = pe_facts.SIZE_LIMIT
# Bound at first use, so not in the import table: a terminal may already have them mapped.
LATE_BOUND = ["COMCTL32.DLL", "COMDLG32.DLL", "SHELL32.DLL"]
COLD_GOAL = 1.1
SHEET_GOAL = 1.1
WARMUP_PAIRS = 2
# Allocation from the add-on's own code would show as one of these undefined symbols.
HEAP_SYMBOL = re.compile(
    r"(^|[_\s])(malloc|calloc|realloc|free|strdup|_strdup|HeapAlloc|HeapReAlloc|HeapCreate|"
    r"LocalAlloc|LocalReAlloc|GlobalAlloc|GlobalReAlloc|VirtualAlloc|CoTaskMemAlloc)(@\d+)?$"
    r"|operator new|operator delete")


def windows_path(path):
    # The prefix maps drive Z: to the root of the Unix file system.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_wine(args, log_path, timeout=120):
    with open(log_path, "ab") as log:
        return subprocess.run(["env", "LC_ALL=ja_JP.SJIS", "wine"] + args, stdin=subprocess.DEVNULL,
                              stdout=log, stderr=log, timeout=timeout).returncode


def first_line(command):
    try:
        out = subprocess.run(command, capture_output=True, text=True, timeout=30).stdout
        return out.splitlines()[0].strip() if out else "?"
    except (OSError, subprocess.TimeoutExpired):
        return "?"


def machine():
    cpu = "?"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    cpus = sorted(os.sched_getaffinity(0))
    pinned = "all" if len(cpus) == os.cpu_count() else ",".join(map(str, cpus))
    return "%s, %d logical CPUs (bench runs on: %s), %s %s, %s, %s" % (
        cpu, os.cpu_count(), pinned, platform.system(), platform.release(),
        first_line(["wine", "--version"]), first_line(["i686-w64-mingw32-g++-posix", "--version"]))


def load_average():
    return "load average %.2f %.2f %.2f" % os.getloadavg()


def median_and_ratio(a, b):
    ma, mb = statistics.median(a), statistics.median(b)
    return ma, mb, ma / mb


def file_bytes(image):
    """What each part of the file takes: the headers, then each section's raw data (512-byte
    blocks, so a section pays for its last block whole)."""
    parts = [("headers", image.section_list[0].rawptr if image.section_list else image.size, 0)]
    parts += [(s.name, s.rawsize, s.vsize) for s in image.section_list]
    return ", ".join("%s %d" % (name, raw) + (" (%d used)" % used if used and used < raw else "")
                     for name, raw, used in parts)


def msvc_abi_dll(build):
    """The clang-cl build's DLL, as the Windows build was configured with it (QX_MSVC_ABI_DLL)."""
    with open(os.path.join(build, "CMakeCache.txt")) as cache:
        found = re.search(r"^QX_MSVC_ABI_DLL:\w+=(.*)$", cache.read(), re.M)
    return found.group(1) if found and os.path.exists(found.group(1)) else None


def footprint(build):
    print("== Footprint")
    dll = os.path.join(build, "bin", "QXLAUNCH.DLL")
    image = pe_facts.Image(dll)
    for name, each in (("mingw", image), ("clang-cl", msvc_abi_dll(build))):
        each = pe_facts.Image(each) if isinstance(each, str) else each
        if not each:
            print("QXLAUNCH.DLL (%s): not built" % name)
            continue
        verdict = "within" if each.size <= FOOTPRINT_GOAL else "OVER"
        print("QXLAUNCH.DLL (%s): %d bytes (%.1f KiB), %s the limit of %d bytes (ratio to it %.2f)"
              % (name, each.size, each.size / 1024, verdict, FOOTPRINT_GOAL, each.size / FOOTPRINT_GOAL))
        print("  file: " + file_bytes(each))
    for dll_name, functions in image.imports():
        print("  imports %-13s %2d: %s" % (dll_name, len(functions), " ".join(functions)))
    faults = pe_facts.faults(image)
    print("  header facts: " + ("all hold" if not faults else "; ".join(faults)))

    objects = sorted(glob.glob(os.path.join(build, "CMakeFiles", "qxlaunch.dir", "**", "*.obj"),
                               recursive=True))
    heap = []
    print("Undefined symbols of the add-on's own objects (what its code calls):")
    for obj in objects:
        out = subprocess.run(["i686-w64-mingw32-nm", "-u", "-C", obj], capture_output=True,
                             text=True, check=True).stdout
        symbols = [line.split(None, 1)[1] for line in out.splitlines() if line.strip()]
        name = os.path.relpath(obj, os.path.join(build, "CMakeFiles", "qxlaunch.dir"))
        print("  %-36s %s" % (name.replace(".obj", ""), " ".join(symbols) or "(none)"))
        heap += [(name, s) for s in symbols if HEAP_SYMBOL.search(s)]
    if heap:
        print("Heap allocation from the add-on's own code: " +
              ", ".join("%s in %s" % (s, n) for n, s in heap))
    else:
        print("Heap allocation from the add-on's own code: none (no malloc, new, HeapAlloc, "
              "LocalAlloc, GlobalAlloc or kin among %d objects)" % len(objects))
    # The empty DLL has the same entry and memory routines and imports nothing.
    empty = pe_facts.Image(os.path.join(build, "bin", "QXEMPTY.DLL"))
    print("Against the empty DLL built the same way (%d bytes, %d imports): the add-on adds %d "
          "bytes" % (empty.size, sum(len(fs) for _, fs in empty.imports()), image.size - empty.size))
    return image


def attach(build, runs, work, variants, quiet_frame=False):
    """LoadLibraryA figures, one fresh process per load, the variants (dll, preload list)
    alternating run by run so that the machine's drift reaches all of them alike: the add-on
    attaches once per process (its class, its window, its menu items), and a fresh process gives
    every variant the same state. Only the call itself is timed, inside the process."""
    bin_dir = os.path.join(build, "bin")
    frame = "quiet" if quiet_frame else "qxhost"
    times = {}
    for name, preload in variants:
        times[(name, preload)] = os.path.join(
            work, "attach-%s-%s-%s.txt" % (frame, "preloaded" if preload else "cold", name))
        if os.path.exists(times[(name, preload)]):
            os.remove(times[(name, preload)])
    log = os.path.join(work, "attach.log")
    for i in range(WARMUP_PAIRS + runs):
        for name, preload in variants:
            dll = windows_path(os.path.join(bin_dir, name))
            target = windows_path(times[(name, preload)] if i >= WARMUP_PAIRS
                                  else os.path.join(work, "warmup.txt"))
            if quiet_frame:
                args = [os.path.join(bin_dir, "qxbench.exe"), "load", dll, target, preload]
            else:
                args = [os.path.join(bin_dir, "qxhost.exe"), "--dll", dll, "--time-load", target]
                if preload:
                    args += ["--preload", preload]
            run_wine(args, log)
    figures = {}
    for variant, path in times.items():
        lines = open(path).read().split() if os.path.exists(path) else []
        if len(lines) != runs or "failed" in lines:
            raise SystemExit("attach: %s gave %d of %d figures (%s); see %s"
                             % (variant[0], len(lines), runs, "a load failed" if "failed" in lines
                                else "runs missing", log))
        figures[variant] = [float(x) for x in lines]
    return figures


def print_attach(label, addon, empty):
    a, e, ratio = median_and_ratio(addon, empty)
    print("%s: add-on %.0f us, empty DLL %.0f us (medians of %d runs each; add-on range %.0f-%.0f us,"
          " empty %.0f-%.0f us), ratio %.1f"
          % (label, a, e, len(addon), min(addon), max(addon), min(empty), max(empty), ratio))


def print_cold(cold, preloaded):
    c, p, ratio = median_and_ratio(cold, preloaded)
    print("add-on attach in the stand-in terminal, nothing preloaded against %s preloaded: %.0f us "
          "against %.0f us, ratio %.2f, %s the goal of %.1f"
          % ("+".join(LATE_BOUND), c, p, ratio, "within" if ratio <= COLD_GOAL else "OVER", COLD_GOAL))


def sheet(build, runs, work):
    out = os.path.join(work, "sheet.txt")
    if os.path.exists(out):
        os.remove(out)
    # Under Wine without a window manager, closing a managed top-level window waits two seconds
    # for a withdrawal nobody confirms; two sheets per run would make that the whole benchmark.
    # Wine reads this per-program setting when the program starts.
    run_wine(["reg", "add", r"HKCU\Software\Wine\AppDefaults\qxbench.exe\X11 Driver", "/v", "Managed",
              "/d", "N", "/f"], os.path.join(work, "sheet.log"))
    status = run_wine([os.path.join(build, "bin", "qxbench.exe"), "sheet", str(runs)], out, timeout=600)
    text = open(out, encoding="latin-1").read().replace("\r", "")
    addon = [float(x) for x in re.findall(r"^addon ([\d.]+)$", text, re.M)]
    bare = [float(x) for x in re.findall(r"^bare ([\d.]+)$", text, re.M)]
    filled = [float(x) for x in re.findall(r"^filled ([\d.]+)$", text, re.M)]
    if addon and len(addon) == len(bare) == len(filled):
        a, b, ratio = median_and_ratio(addon, bare)
        print("settings sheet: add-on %.2f ms, bare sheet %.2f ms (medians of %d runs each; add-on "
              "range %.2f-%.2f ms, bare %.2f-%.2f ms), ratio %.2f, %s the goal of %.1f"
              % (a / 1000, b / 1000, len(addon), min(addon) / 1000, max(addon) / 1000,
                 min(bare) / 1000, max(bare) / 1000, ratio,
                 "within" if ratio <= SHEET_GOAL else "OVER", SHEET_GOAL))
        # The same bare sheet with the five entries put in its fields: what is left is the
        # add-on's own share (the question to the terminal, the backups, the limits, the title).
        _, f, own = median_and_ratio(addon, filled)
        print("settings sheet: bare sheet showing the same five entries %.2f ms (range %.2f-%.2f ms), "
              "add-on against it %.2f" % (f / 1000, min(filled) / 1000, max(filled) / 1000, own))
        return
    reason = re.search(r"^settings sheet: .*$", text, re.M)
    print(reason.group(0) if reason else "settings sheet: no figures (exit %d); see %s" % (status, out))


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 30
    work = os.path.join(ROOT, "out", "bench")
    os.makedirs(work, exist_ok=True)
    print("Machine: " + machine())
    print("Command: make bench BENCH_RUNS=%d; at start %s" % (runs, load_average()))
    image = footprint(build)

    print("== Attach: LoadLibraryA in the stand-in terminal (qxhost), 5 programs and 5 scripts "
          "configured; add-on and empty DLL, with and without the system DLLs preloaded, all four "
          "alternating, one fresh process per load")
    bench = os.path.join(build, "bin", "qxbench.exe")
    run_wine([bench, "configure"], os.path.join(work, "attach.log"))
    try:
        # First the like-for-like row: a frame that does no menu work, with the add-on's system
        # DLLs already mapped, leaves the add-on's own share. Then the stand-in terminal, whose
        # menu work is in every add-on figure, with those DLLs mapped as in a terminal that uses
        # them itself, and with nothing preloaded: the attach must not map the late-bound ones.
        preload = ",".join([d for d, _ in image.imports()] + LATE_BOUND)
        quiet = attach(build, runs, work, [("QXLAUNCH.DLL", preload), ("QXEMPTY.DLL", preload)],
                       quiet_frame=True)
        print_attach("frame without menu work, DLLs preloaded ",
                     quiet[("QXLAUNCH.DLL", preload)], quiet[("QXEMPTY.DLL", preload)])
        host = attach(build, runs, work, [("QXLAUNCH.DLL", preload), ("QXLAUNCH.DLL", ""),
                                          ("QXEMPTY.DLL", preload), ("QXEMPTY.DLL", "")])
        print_attach("stand-in terminal, system DLLs preloaded", host[("QXLAUNCH.DLL", preload)],
                     host[("QXEMPTY.DLL", preload)])
        print_attach("stand-in terminal, nothing preloaded    ", host[("QXLAUNCH.DLL", "")],
                     host[("QXEMPTY.DLL", "")])
        print_cold(host[("QXLAUNCH.DLL", "")], host[("QXLAUNCH.DLL", preload)])
    finally:
        run_wine([bench, "clear"], os.path.join(work, "attach.log"))

    print("== Settings sheet: WM_COMMAND 100 until the program page is visible, against a bare "
          "PropertySheetA of templates 101 and 102 with empty page procedures, and against the same "
          "sheet showing the five entries, all three taking turns in one process")
    sheet(build, runs, work)
    print("At end %s. Raw figures in %s" % (load_average(), os.path.relpath(work, ROOT)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
