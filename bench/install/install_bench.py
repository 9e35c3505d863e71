#!/usr/bin/env python3
"""The installation benchmark: for payloads of 100 MB, 500 MB and 1.5 GB, the
setup program's peak memory, its install time under Wine and the ratio to
Wine's own xcopy of the same tree; whether its time per file stays flat as
the file count grows.

    python3 bench/install/install_bench.py [--build DIR] [--tree DIR] [--quick]

DIR holds native/qpkbuild; the Windows tree (default: DIR/windows where
32-bit Wine starts, else DIR/windows64) holds the setup program and the
wine_target.env that says which Wine runs it. Run outside a Wine session, the
script starts its own (a private Xvfb display and a throwaway prefix, through
tools/common.sh) and runs itself again inside it. Prints a table at the end.
A setup run that fails or leaves a wrong tree, or a peak above the stated
memory limit, makes the exit code 1."""

import argparse
import gzip
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SESSION_MARK = "QP_INSTALL_BENCH_SESSION"
sys.path.insert(0, os.path.join(ROOT, "tools"))
from wine_ui import Target  # noqa: E402

# The setup program's memory must not grow with the payload: below this
# plus the decoder's window, whatever the payload's size.
MEMORY_BASE_MB = 64

# Where realistic content comes from: texts and the cross compiler's
# libraries and objects, as a product would ship documents and binaries.
CONTENT_SOURCES = ["/usr/share/doc", "/usr/lib/gcc/i686-w64-mingw32", "/usr/i686-w64-mingw32/lib",
                   "/usr/share/common-licenses"]
POOL_BYTES = 48 << 20
POOL_FILE_MAX = 4 << 20

# Wine looks names up without regard to case by reading the whole folder,
# so a huge folder makes every file slower to create, whoever creates it.
# Both small-file trees keep their folders this full, so that a growing
# time per file can only come from the installer.
FILES_PER_FOLDER = 250

INSTALL_DIR = "C:\\bench\\inst"
COPY_DIR = "C:\\bench\\copy"


class BenchError(Exception):
    pass


def log(text):
    print("-- " + text, flush=True)


def windows_path(path):
    """The Z: drive maps the Unix root in every Wine prefix."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


WINE_LOADER = "wine"


def wine(*args):
    """The command that runs a program under the session's Wine."""
    return [WINE_LOADER] + [str(a) for a in args]


def prefix_path(windows):
    """Where a C: path of the prefix lies on the host."""
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *windows[3:].split("\\"))


# ---------------------------------------------------------------- content

class ContentPool:
    """Blobs of text and of binaries read from the machine; new files are cut
    from them at random places, with some random bytes mixed in for content
    that is already compressed (images, archives)."""

    def __init__(self, rng):
        self.rng = rng
        self.texts, self.binaries = [], []
        total = 0
        candidates = []
        for top in CONTENT_SOURCES:
            for base, dirs, files in os.walk(top):
                dirs.sort()
                for name in sorted(files):
                    path = os.path.join(base, name)
                    if not os.path.islink(path):
                        candidates.append(path)
        rng.shuffle(candidates)
        for path in candidates:
            if total >= POOL_BYTES:
                break
            try:
                if os.path.getsize(path) > POOL_FILE_MAX:
                    continue
                with open(path, "rb") as f:
                    data = f.read()
                if path.endswith(".gz"):
                    data = gzip.decompress(data)
            except (OSError, EOFError, gzip.BadGzipFile):
                continue
            if len(data) < 256:
                continue
            (self.binaries if b"\0" in data[:4096] else self.texts).append(data)
            total += len(data)
        if not self.texts or not self.binaries:
            raise BenchError("found too little text or binary content under %s" % ", ".join(CONTENT_SOURCES))
        self.total = total

    def piece(self, size):
        rng = self.rng
        roll = rng.random()
        if roll < 0.12:
            return rng.randbytes(size)
        blobs = self.texts if roll < 0.55 else self.binaries
        out = bytearray()
        while len(out) < size:
            blob = blobs[rng.randrange(len(blobs))]
            start = rng.randrange(len(blob))
            out += blob[start:start + size - len(out)]
        return bytes(out)

    def content(self, size):
        # Most files are of one kind; some mix two, as resources in a binary.
        if size > 4096 and self.rng.random() < 0.2:
            cut = self.rng.randrange(1, size)
            return self.piece(cut) + self.piece(size - cut)
        return self.piece(size)


def extension_for(rng, data):
    if b"\0" not in data[:512]:
        return ".txt"
    return rng.choice([".dll", ".dat", ".bin", ".lib"])


def scaled_sizes(rng, count, total, low, high):
    """count sizes between low and high, spread log-uniformly and scaled so
    that they add up to about total."""
    raw = [rng.lognormvariate(0, 1.6) for _ in range(count)]
    scale = total / sum(raw)
    return [max(low, min(high, int(r * scale))) for r in raw]


def folders_for(count, per_folder):
    """A few levels of sub-folders; the first files go to the top."""
    names = ["bin", "lib", "doc", "data", "share", "plugins", "res", "locale"]
    folders, n = [""], max(1, -(-count // per_folder))
    i = 0
    while len(folders) < n:
        top = names[i % len(names)]
        depth = i // len(names)
        if depth == 0:
            folders.append(top)
        elif depth % 2:
            folders.append("%s/part%02d" % (top, depth))
        else:
            folders.append("%s/part%02d/sub%02d" % (top, depth - 1, depth))
        i += 1
    return folders


def make_tree(pool, folder, count, total_bytes, low, high, per_folder):
    rng = pool.rng
    sizes = scaled_sizes(rng, count, total_bytes, low, high)
    folders = folders_for(count, per_folder)
    written = 0
    for i, size in enumerate(sizes):
        data = pool.content(size)
        sub = os.path.join(folder, folders[i * len(folders) // count])
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, "file%05d%s" % (i, extension_for(rng, data))), "wb") as f:
            f.write(data)
        written += size
    return written


def tree_files(folder):
    found = {}
    for base, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(base, name)
            found[os.path.relpath(path, folder).lower()] = path
    return found


def level_for(args, size):
    """The max level holds the whole payload and runs at about 2 MB/s;
    large products are built at the fast level, in bounded memory."""
    if args.level != "auto":
        return args.level
    return "max" if size <= 200 << 20 else "fast"


def window_mb():
    """The decoder's window, from archive/lz_codec.h."""
    with open(os.path.join(ROOT, "archive", "lz_codec.h")) as f:
        text = f.read()
    distance = re.search(r"kLzMaxDistance = (\d+);", text)
    window = re.search(r"kLzWindowBytes = size_t\(kLzMaxDistance\) \+ \(size_t\((\d+)\) << 20\);", text)
    if not distance or not window:
        raise BenchError("cannot read kLzWindowBytes from archive/lz_codec.h; update window_mb()")
    return (int(distance.group(1)) + (int(window.group(1)) << 20)) / 1048576.0


def write_project(path, tree, level):
    with open(path, "w") as f:
        f.write('[product]\n'
                'name = "Quillpack Bench"\n'
                'publisher = "Quillpack Examples"\n'
                'version = "1.0"\n'
                'default_directory = "Quillpack Bench"\n'
                'flags = ["WithUninstaller"]\n\n'
                '[options]\n'
                'compression = true\n'
                'level = "%s"\n'
                'checksums = true\n\n'
                '[[trees]]\n'
                'source = "%s"\n' % (level, tree.replace("\\", "\\\\")))


# ---------------------------------------------------------------- runs

class Case:
    """One tree with its setup program."""

    def __init__(self, name, folder, files, size):
        self.name, self.folder, self.files, self.size = name, folder, files, size
        self.setup = None
        self.setup_size = 0
        self.build_seconds = 0.0
        self.build_peak_mib = 0.0
        self.level = ""


def build_setup(case, work, qpkbuild, stub, level):
    case.level = level
    project = os.path.join(work, case.name + ".toml")
    write_project(project, case.folder, level)
    out_dir = os.path.join(work, case.name + "-setup")
    os.makedirs(out_dir, exist_ok=True)
    case.setup = os.path.join(out_dir, "setup.exe")
    start = time.perf_counter()
    with tempfile.TemporaryFile() as said:
        process = subprocess.Popen([qpkbuild, "build", project, "-o", case.setup, "--stub", stub],
                                   stdout=said, stderr=subprocess.STDOUT)
        # wait4 gives this child's own peak, ru_maxrss in kB.
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        case.build_seconds = time.perf_counter() - start
        case.build_peak_mib = usage.ru_maxrss / 1024.0
        if process.returncode != 0:
            said.seek(0)
            raise BenchError("qpkbuild failed for %s:\n%s" % (case.name, said.read().decode(errors="replace")))
    case.setup_size = sum(os.path.getsize(os.path.join(out_dir, n)) for n in os.listdir(out_dir))


def remove_case(case):
    shutil.rmtree(case.folder, ignore_errors=True)
    shutil.rmtree(os.path.dirname(case.setup), ignore_errors=True)


def clear(windows):
    shutil.rmtree(prefix_path(windows), ignore_errors=True)
    if os.path.exists(prefix_path(windows)):
        raise BenchError("cannot delete %s" % prefix_path(windows))
    # Earlier runs' dirty pages are written out before the clock starts.
    os.sync()


def descendants(root):
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        # The name in parentheses may hold spaces; the parent follows it.
        ppid = int(stat[stat.rfind(")") + 2:].split()[1])
        children.setdefault(ppid, []).append(int(entry))
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo.extend(children.get(pid, []))
    return found


def peak_of(pid):
    """VmHWM in kB, and whether the process is the setup program (Wine shows
    the Windows command line)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            is_setup = b"setup.exe" in f.read().lower()
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]), is_setup
    except (OSError, ValueError):
        pass
    return 0, False


def run_timed(command, timeout, watch_memory=False):
    """Seconds taken, exit code, and the peak memory in MiB seen (0 unless
    watched). A program still running after timeout seconds is most likely
    waiting for an answer to a box; it is killed and reported."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    setup_peak = any_peak = 0
    setup_pid = None
    try:
        if not watch_memory:
            process.wait(timeout)
        while process.poll() is None:
            if time.perf_counter() - start > timeout:
                raise subprocess.TimeoutExpired(command, timeout)
            # VmHWM only grows: reading it often enough before the end is
            # enough. Once the setup's process is known, only it is read.
            if setup_pid is not None:
                kb, _ = peak_of(setup_pid)
                setup_peak = max(setup_peak, kb)
            else:
                for pid in descendants(process.pid):
                    kb, is_setup = peak_of(pid)
                    any_peak = max(any_peak, kb)
                    if is_setup:
                        setup_pid = pid
                        setup_peak = max(setup_peak, kb)
            time.sleep(0.02)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise BenchError("%s did not end within %d s (a box waiting for an answer?)" % (
            os.path.basename(command[1]), timeout))
    seconds = time.perf_counter() - start
    return seconds, process.returncode, (setup_peak or any_peak) / 1024.0


def check_installed(case, full):
    """Every file of the tree must be in the installation directory with its
    size (and, when full, its bytes)."""
    target = prefix_path(INSTALL_DIR)
    installed = tree_files(target)
    missing = [rel for rel in tree_files(case.folder) if rel not in installed]
    if missing:
        raise BenchError("%s: %d files missing after setup, e.g. %s" % (case.name, len(missing), missing[0]))
    for rel, source in tree_files(case.folder).items():
        if os.path.getsize(source) != os.path.getsize(installed[rel]):
            raise BenchError("%s: %s has the wrong size after setup" % (case.name, rel))
        if full:
            with open(source, "rb") as a, open(installed[rel], "rb") as b:
                if a.read() != b.read():
                    raise BenchError("%s: %s has wrong bytes after setup" % (case.name, rel))


def install(case, first, timeout, watch_memory=False):
    clear(INSTALL_DIR)
    seconds, code, peak = run_timed(wine(case.setup, "/a", "/d:" + INSTALL_DIR), timeout, watch_memory)
    if code != 0:
        raise BenchError("%s: setup exited with %d (low byte of the exit code)" % (case.name, code))
    check_installed(case, full=first)
    return seconds, peak


def copy(case, timeout):
    clear(COPY_DIR)
    seconds, code, _ = run_timed(wine("xcopy", "/e", "/i", "/q", windows_path(case.folder), COPY_DIR), timeout)
    if code != 0:
        raise BenchError("%s: xcopy exited with %d" % (case.name, code))
    copied = len(tree_files(prefix_path(COPY_DIR)))
    if copied != case.files:
        raise BenchError("%s: xcopy copied %d of %d files" % (case.name, copied, case.files))
    return seconds


def measure(case, runs, timeout, watch_memory=False):
    """Median seconds of setup and of xcopy, run by turns so that a slow
    phase of the machine hits both, and the setup's highest peak memory."""
    setups, copies, peak = [], [], 0.0
    for i in range(runs):
        seconds, run_peak = install(case, i == 0, timeout, watch_memory)
        setups.append(seconds)
        peak = max(peak, run_peak)
        copies.append(copy(case, timeout))
        log("%s run %d: setup %.2f s%s, xcopy %.2f s" % (
            case.name, i + 1, setups[-1], ", peak %.1f MiB" % run_peak if watch_memory else "", copies[-1]))
    clear(INSTALL_DIR)
    clear(COPY_DIR)
    return statistics.median(setups), statistics.median(copies), peak


# ---------------------------------------------------------------- main

def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.environ.get("QP_BUILD", os.path.join(ROOT, "build")),
                        help="build tree with native/qpkbuild")
    parser.add_argument("--tree", help="the Windows build tree whose setup program runs (default: BUILD/windows "
                        "where 32-bit Wine starts, else BUILD/windows64)")
    parser.add_argument("--quick", action="store_true",
                        help="a small run: payloads of 10 and 50 MB, 300 and 2,000 small files, one run each")
    parser.add_argument("--payloads", help="payload sizes in MB, comma-separated (default 100,500,1536)")
    parser.add_argument("--runs", type=int, help="runs per measurement; the median is shown (default 3, quick 1)")
    parser.add_argument("--level", choices=["fast", "max", "auto"], default="auto",
                        help="compression level; auto: max up to 200 MB, fast above")
    parser.add_argument("--managed", action="store_true",
                        help="keep Wine's default of handing windows to a window manager (none runs under Xvfb)")
    parser.add_argument("--timeout", type=int, default=900, help="seconds after which a run is killed")
    parser.add_argument("--seed", type=int, default=2024, help="seed of the generated trees")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    if args.quick:
        args.small, default_payloads, default_runs = (300, 2000), "10,50", 1
    else:
        args.small, default_payloads, default_runs = (3000, 20000), "100,500,1536", 3
    try:
        args.payloads = [int(mb) for mb in (args.payloads or default_payloads).split(",")]
    except ValueError:
        parser.error("--payloads takes sizes in MB such as 100,500,1536")
    if args.runs is None:
        args.runs = default_runs
    if args.runs < 1 or args.timeout < 1 or min(args.payloads) < 1:
        parser.error("--runs, --timeout and every payload size must be at least 1")
    if args.tree is None:
        # As tools/common.sh decides: through bash, so that a kernel
        # refusing the binary is a plain failure.
        try:
            starts = subprocess.run(["bash", "-c", "/usr/lib/wine/wine --version"], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, timeout=20).returncode == 0
        except subprocess.TimeoutExpired:
            starts = False
        args.tree = os.path.join(args.build, "windows" if starts else "windows64")
    args.tree = os.path.abspath(args.tree)
    return args


def payload_files(mb):
    """Files of a payload: 3,000 in 100 MB as before, fewer per MB above."""
    return max(100, mb * 30 if mb <= 100 else 3000 + (mb - 100) * 4)


def start_session(args):
    """Runs this script again inside a private Wine session. Its prefix lies
    in a folder of its own, so a test run on the same build tree is not
    disturbed."""
    session = tempfile.mkdtemp(prefix="qp-install-bench-session-")
    script = ('export QP_BUILD="$1"; source "$2"; tree="$3"; shift 3; qp_wine_start "$tree" >&2; '
              'export %s=1; python3 "$@"; code=$?; exit $code' % SESSION_MARK)
    try:
        return subprocess.run(["bash", "-c", script, "bash", session, os.path.join(ROOT, "tools", "common.sh"),
                               args.tree, os.path.abspath(__file__)] + sys.argv[1:]).returncode
    finally:
        shutil.rmtree(session, ignore_errors=True)


def main():
    global WINE_LOADER
    args = parse_args()
    qpkbuild = os.path.join(args.build, "native", "qpkbuild")
    if not os.path.isfile(os.path.join(args.tree, "wine_target.env")):
        sys.exit("install_bench: %s has no wine_target.env; build the Windows tree first (or give --tree)" % args.tree)
    target = Target(args.tree)
    stub = target.program
    for path in (qpkbuild, stub):
        if not os.path.isfile(path):
            sys.exit("install_bench: %s is missing; build the tree first (or give --build, --tree)" % path)
    if not os.environ.get(SESSION_MARK):
        return start_session(args)
    WINE_LOADER = target.wine

    work = tempfile.mkdtemp(prefix="qp-install-bench-")
    rows, failures = [], []
    try:
        limit = MEMORY_BASE_MB + window_mb()
        rng = random.Random(args.seed)
        log("reading content from the machine")
        pool = ContentPool(rng)
        log("content pool: %.1f MB of text, %.1f MB of binaries" % (
            sum(map(len, pool.texts)) / 1e6, sum(map(len, pool.binaries)) / 1e6))

        cases = []

        def add(name, count, total, low, high, per_folder):
            folder = os.path.join(work, name)
            log("generating %s: %d files, about %.1f MB" % (name, count, total / 1e6))
            size = make_tree(pool, folder, count, total, low, high, per_folder)
            case = Case(name, folder, count, size)
            level = level_for(args, total)
            log("building its setup (level %s)" % level)
            build_setup(case, work, qpkbuild, stub, level)
            cases.append(case)
            return case

        one = add("one", 1, 1000, 1000, 1000, 1)
        small = [add("small%d" % n, n, n * 1500, 200, 4096, FILES_PER_FOLDER)
                 for n in args.small]

        os.makedirs(prefix_path("C:\\bench"), exist_ok=True)
        subprocess.run(wine("reg", "delete" if args.managed else "add", "HKCU\\Software\\Wine\\X11 Driver",
                            "/v", "Managed", *([] if args.managed else ["/d", "N"]), "/f"),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A first, untimed install pulls Wine's libraries into memory.
        log("warm-up install")
        install(small[0], True, args.timeout)

        def section(title, body):
            try:
                body()
            except BenchError as e:
                failures.append(str(e))
                rows.append((title, "FAILED", ""))
                log("FAILED: %s" % e)

        def one_body():
            setup, xcopy, _ = measure(one, args.runs, args.timeout)
            rows.append(("fixed cost: setup /a of 1 file", "%.2f s" % setup, "xcopy %.2f s" % xcopy))

        def payload_body(mb):
            # Made, measured and removed one at a time: the largest needs its
            # tree, its setup and two copies on disk at once.
            count = payload_files(mb)
            case = add("payload%d" % mb, count, mb << 20, 16, (8 if mb <= 100 else 64) << 20, 400)
            try:
                setup, xcopy, peak = measure(case, args.runs, args.timeout, watch_memory=True)
            finally:
                if not args.keep:
                    remove_case(case)
            label = "%d MB, %d files" % (case.size / 1e6, case.files)
            rows.append(("setup /a, " + label, "%.2f s" % setup, "%.1f MB/s" % (case.size / 1e6 / setup)))
            rows.append(("  xcopy", "%.2f s" % xcopy, "%.1f MB/s" % (case.size / 1e6 / xcopy)))
            rows.append(("  ratio setup / xcopy", "%.2f" % (setup / xcopy), ""))
            within = 0 < peak < limit
            rows.append(("  setup peak memory (VmHWM)", "%.1f MiB" % peak,
                         "limit %.0f MiB: %s" % (limit, "within" if within else "OVER")))
            if not within:
                failures.append("%s: setup peak %.1f MiB, limit %.0f MiB" % (case.name, peak, limit))

        def small_body():
            figures = []
            for case in small:
                setup, xcopy, _ = measure(case, args.runs, args.timeout)
                per_setup, per_copy = setup / case.files * 1000, xcopy / case.files * 1000
                figures.append((per_setup, per_copy))
                rows.append(("setup /a per 1000 files, at %d" % case.files, "%.2f s" % per_setup,
                             "xcopy %.2f s" % per_copy))
            (s1, c1), (s2, c2) = figures
            rows.append(("growth per 1000 files, %d vs %d" % (small[1].files, small[0].files),
                         "%.2f" % (s2 / s1), "xcopy %.2f; 1.0 is linear" % (c2 / c1)))

        section("fixed cost", one_body)
        for mb in args.payloads:
            section("payload of %d MB" % mb, lambda: payload_body(mb))
        section("small files", small_body)

        print()
        print("Setup programs (%s; the payload share leaves out the program itself; "
              "builder peak from wait4):" % os.path.basename(stub))
        stub_size = os.path.getsize(stub)
        for case in cases:
            print("  %-12s %6d files %8.1f MB -> setup %8.1f MB, payload %3.0f%%, %-4s built in %6.1f s, "
                  "peak %6.1f MiB" % (
                      case.name, case.files, case.size / 1e6, case.setup_size / 1e6,
                      100.0 * (case.setup_size - stub_size) / case.size, case.level, case.build_seconds,
                      case.build_peak_mib))
        print()
        print("Installation under %s (median of %d runs; windows %s; memory limit %d MiB + the %.1f MiB window):" % (
            os.path.basename(target.wine), args.runs, "managed" if args.managed else "unmanaged",
            MEMORY_BASE_MB, window_mb()))
        width = max(len(r[0]) for r in rows)
        for name, value, note in rows:
            print("  %-*s  %10s  %s" % (width, name, value, note))
        for failure in failures:
            print("FAILED: " + failure)
        return 1 if failures else 0
    except BenchError as e:
        print("install_bench: " + str(e), file=sys.stderr)
        return 1
    finally:
        if args.keep:
            log("work folder kept: " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
