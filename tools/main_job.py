"""The main job: pack the sample product with qpkbuild, install it under Wine
in automatic mode, and show what a user and an administrator would check
afterwards: the installed tree with sizes and dates, the registration, the
shortcuts, the log and the exit code. Then uninstall it the way the system's
list of programs would, quietly, and show that nothing is left behind.

Run by setup.sh inside the Wine session it prepares."""

import argparse
import datetime
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_ui import WineUI, reg_query, unix_path  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = "Quillpack Sample"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + PRODUCT


def heading(text):
    print("\n== %s" % text)


def show_tree(folder):
    for base, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(base, name)
            stamp = datetime.datetime.fromtimestamp(os.path.getmtime(path)).strftime("%Y-%m-%d %H:%M:%S")
            print("%10d  %s  %s" % (os.path.getsize(path), stamp, os.path.relpath(path, folder)))


def show_values(key):
    values = reg_query(key)
    if values is None:
        print("(no key %s)" % key)
        return {}
    for name, (kind, value) in values.items():
        print("%-22s %-10s %s" % (name, kind, value))
    return values


def show_shortcuts(ui, folder):
    for base, _, files in os.walk(folder):
        for name in sorted(files):
            if name.lower().endswith(".lnk"):
                link = os.path.join(base, name)
                windows = "Z:" + link.replace("/", "\\")
                print("%s\n    -> %s" % (os.path.relpath(link, folder), ui.shortcut(windows)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the build folder, with native/qpkbuild")
    parser.add_argument("--windows", help="the Windows build tree whose program to use (default: BUILD/windows)")
    args = parser.parse_args()
    ui = WineUI(args.windows or os.path.join(args.build, "windows"))
    stub = ui.target.program
    qpkbuild = os.path.join(args.build, "native", "qpkbuild")
    print("program: %s (%s)" % (stub, "64-bit" if ui.target.arch == "x64" else "32-bit"))

    out_dir = os.path.join(args.build, "sample")
    os.makedirs(out_dir, exist_ok=True)
    setup = os.path.join(out_dir, "setup.exe")
    project = os.path.join(ROOT, "examples", "sample", "sample.toml")
    subprocess.run([qpkbuild, "build", project, "-o", setup, "--stub", stub], check=True)
    subprocess.run([qpkbuild, "list", setup], check=True)

    heading("installing %s under Wine in automatic mode: setup.exe /a" % setup)
    running = ui.start(setup, "/a")
    try:
        code = running.exit_code(timeout=600)
    finally:
        running.kill()
    ui.screenshot("main-job")

    values = reg_query(UNINSTALL_KEY) or {}
    location = values.get("InstallLocation", ("", "C:\\Program Files\\" + PRODUCT))[1]
    heading("installed tree: %s" % location)
    show_tree(unix_path(location))
    heading("registration: %s" % UNINSTALL_KEY)
    show_values(UNINSTALL_KEY)
    heading("shared-file reference counts")
    for name, (kind, value) in (reg_query("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs") or {}).items():
        print("%-60s %s" % (name, value))
    heading("product keys")
    for hive in ("HKLM", "HKCU"):
        key = "%s\\Software\\Quillpack Examples\\Sample" % hive
        print("%s: %s" % (key, "present" if reg_query(key) is not None else "missing"))
    heading("shortcuts")
    profile = unix_path("C:\\users\\%s" % os.environ.get("USER", "root"))
    show_shortcuts(ui, os.path.join(profile))
    show_shortcuts(ui, unix_path("C:\\ProgramData\\Microsoft\\Windows\\Start Menu"))
    show_shortcuts(ui, unix_path(location))
    log = os.path.join(unix_path(location), "Install.LOG")
    heading("Install.LOG")
    if os.path.exists(log):
        with open(log, "rb") as f:
            print(f.read().decode("latin-1").replace("\r\n", "\n"))
    else:
        print("(none)")
    heading("result")
    print("exit code: %d" % code)
    if code != 0:
        return 1

    quiet = values.get("QuietUninstallString", ("", ""))[1]
    heading("uninstalling: %s" % quiet)
    program, argument = quiet[1:].split('" ', 1)
    running = ui.start(unix_path(program), *argument.split(" "))
    try:
        uninstall_code = running.exit_code(timeout=600)
    finally:
        running.kill()
    print("exit code: %d" % uninstall_code)
    folder = unix_path(location)
    # The uninstaller's own file goes once it has exited.
    for _ in range(100):
        if not os.path.exists(folder):
            break
        time.sleep(0.2)
    heading("left behind")
    left = []
    if os.path.exists(folder):
        left.append("folder %s: %s" % (location, os.listdir(folder)))
    if reg_query(UNINSTALL_KEY) is not None:
        left.append("registration " + UNINSTALL_KEY)
    for hive in ("HKLM", "HKCU"):
        if reg_query("%s\\Software\\Quillpack Examples" % hive) is not None:
            left.append("product keys in " + hive)
    counts = reg_query("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs") or {}
    left += ["shared count " + name for name in counts if "Quillpack Examples" in name]
    shared = unix_path("C:\\Program Files\\Common Files\\Quillpack Examples")
    if os.path.exists(shared):
        left.append("shared folder " + shared)
    for base, _, files in os.walk(profile):
        left += [os.path.join(base, f) for f in files if "Sample" in f and f.lower().endswith(".lnk")]
    print("\n".join(left) if left else "nothing: files, folders, shortcuts, registration, keys and counts are gone")
    return 0 if uninstall_code == 0 and not left else 1


if __name__ == "__main__":
    sys.exit(main())
