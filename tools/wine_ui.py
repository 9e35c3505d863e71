"""Runs Windows programs under Wine and drives their windows with uidriver.

Used by the end-to-end tests, the main job and the benchmark. Expects
DISPLAY and WINEPREFIX to be set up (test.sh and setup.sh do that). Which
programs run, and under which Wine loader, comes from the Windows build
tree's wine_target.env, written when the tree is configured."""

import os
import shlex
import subprocess
import tempfile
import threading


class Target:
    """One Windows build tree: its architecture (x86 or x64), the Wine loader
    and prefix kind that run it, and its programs."""

    def __init__(self, build_dir):
        self.build_dir = os.path.abspath(build_dir)
        values = {}
        with open(os.path.join(self.build_dir, "wine_target.env")) as f:
            for line in f:
                name, _, text = line.strip().partition("=")
                if name:
                    values[name] = shlex.split(text)[0] if text else ""
        self.arch = values["QP_ARCH"]
        self.wine = values["QP_WINE"]
        self.prefix_arch = values["QP_WINE_PREFIX_ARCH"]
        self.program = values["QP_PROGRAM"]
        self.uidriver = values["QP_UIDRIVER"]
        self.qpkbuild_exe = values["QP_QPKBUILD_EXE"]
        self.hold = values["QP_HOLD"]
        # The native builder, when the native tree sits beside this one.
        native = os.path.join(os.path.dirname(self.build_dir), "native", "qpkbuild")
        self.native_qpkbuild = native if os.path.exists(native) else None


_target = None


def use_target(build_dir):
    """Makes the tree in build_dir the one every helper here runs."""
    global _target
    _target = Target(build_dir)
    return _target


def wine(*args):
    """The command that runs args[0] with the rest under this session's Wine."""
    loader = _target.wine if _target else os.environ.get("QP_WINE", "wine")
    return [loader] + [str(a) for a in args]


def windows_path(path):
    """The Z: drive maps the Unix root in every Wine prefix."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def unix_path(path):
    """Where a Windows path of the prefix lies on the host. Wine matches names
    without regard to case, so each component is looked up the same way; a
    component that does not exist is kept as written."""
    drive, rest = path[0].upper(), path[2:]
    if drive == "Z":
        base = "/"
    else:
        base = os.path.join(os.environ["WINEPREFIX"], "dosdevices", drive.lower() + ":")
        base = os.path.realpath(base)
    for part in [p for p in rest.split("\\") if p]:
        if os.path.isdir(base):
            match = [name for name in os.listdir(base) if name.lower() == part.lower()]
            part = match[0] if match else part
        base = os.path.join(base, part)
    return base


def reg_query(key):
    """The values of one registry key as {name: (type, text)}, or None when
    the key does not exist. REG_DWORD values come back as integers."""
    with tempfile.TemporaryFile("w+", encoding="latin-1") as out:
        code = subprocess.run(wine("reg", "query", key), stdout=out, stderr=subprocess.DEVNULL).returncode
        out.seek(0)
        lines = out.read().splitlines()
    if code != 0:
        return None
    values = {}
    for line in lines:
        if not line.startswith("    "):
            continue
        parts = line.strip().split("    ", 2)
        if len(parts) < 2 or not parts[1].startswith("REG_"):
            continue
        name, kind = parts[0], parts[1]
        text = parts[2] if len(parts) > 2 else ""
        if name == "(Default)":
            name = ""
        values[name] = (kind, int(text, 16) if kind == "REG_DWORD" else text)
    return values


class Running:
    """A program started through `uidriver run`, which reports its full exit code."""

    def __init__(self, process):
        self.process = process

    def exit_code(self, timeout=120):
        # Read up to the report rather than to the end of the pipe: a program
        # that the tested one started (notepad) may hold the pipe open.
        watchdog = threading.Timer(timeout, self.kill)
        watchdog.start()
        try:
            seen = []
            for line in self.process.stdout:
                seen.append(line)
                if line.startswith("exit code: "):
                    return int(line.split(": ", 1)[1])
        finally:
            watchdog.cancel()
        raise AssertionError("no exit code reported within %ss; uidriver said: %r" % (timeout, "".join(seen)))

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


class WineUI:
    def __init__(self, build_dir):
        self.target = use_target(build_dir)
        self.build_dir = self.target.build_dir
        self.uidriver = self.target.uidriver
        self.artifacts = os.path.join(self.build_dir, "artifacts")
        os.makedirs(self.artifacts, exist_ok=True)

    def start(self, exe, *args, cwd=None):
        command = wine(self.uidriver, "run", windows_path(exe), *args)
        process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        return Running(process)

    def driver(self, *args, check=True, timeout=180):
        # Output goes through files, not pipes: a Wine service that this call
        # happens to start (the desktop window) inherits the handles and would
        # keep a pipe open long after uidriver has ended.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            result = subprocess.run(wine(self.uidriver, *args), stdout=out, stderr=err,
                                    timeout=timeout)
            out.seek(0)
            err.seek(0)
            result.stdout, result.stderr = out.read(), err.read()
        if check and result.returncode != 0:
            raise AssertionError("uidriver %s failed: %s" % (" ".join(map(str, args)), result.stderr.strip()))
        return result

    def kill(self, exe_name):
        """Ends every process of that name (cleanup after a failed test)."""
        self.driver("kill", exe_name, check=False)

    def wait(self, caption, timeout_ms=60000):
        return self.driver("wait", caption, timeout_ms, check=False).returncode == 0

    def text(self, caption):
        """The static texts of a window, joined by newlines, with Windows line ends folded."""
        out = self.driver("text", caption).stdout
        return out.replace("\r\n", "\n").rstrip("\n")

    def click(self, caption, button):
        self.driver("click", caption, button)

    def fatal_box(self, program, *args, screenshot=None):
        """Starts the program, reads its fatal box and presses OK.
        Returns (text, exit code), or (None, None) when no box came."""
        running = self.start(program, *args)
        try:
            if not self.wait("FATAL ERROR"):
                return None, None
            text = self.text("FATAL ERROR")
            if screenshot:
                self.screenshot(screenshot)
            self.click("FATAL ERROR", "OK")
            return text, running.exit_code()
        finally:
            running.kill()
            self.kill(os.path.basename(program))

    def shortcut(self, link):
        """(target, arguments, working directory) of a shell link, or None."""
        result = self.driver("shortcut", link, check=False)
        if result.returncode != 0:
            return None
        fields = dict(line.split(": ", 1) for line in result.stdout.replace("\r\n", "\n").splitlines() if ": " in line)
        return fields.get("target", ""), fields.get("arguments", ""), fields.get("working directory", "")

    def screenshot(self, name):
        path = os.path.join(self.artifacts, name + ".bmp")
        self.driver("screenshot", windows_path(path))
        return path


def run_tests(case, program=None):
    """Entry point of an end-to-end test script: --build names the Windows
    build directory; `case.ui` and `case.program` (the named program of that
    tree, by default its setup program) are set before unittest runs."""
    import argparse
    import sys
    import unittest

    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args, rest = parser.parse_known_args()
    case.ui = WineUI(args.build)
    case.program = os.path.join(args.build, program) if program else case.ui.target.program
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
