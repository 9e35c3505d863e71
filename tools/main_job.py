"""The main job: pack the sample product with qpkbuild, install it under Wine
in automatic mode, and show what a user and an administrator would check
afterwards: the installed tree with sizes and dates, the registration, the
shortcuts, the log and the exit code.

Run by setup.sh inside the Wine session it prepares."""

import argparse
import datetime
import os
import subprocess
import sys

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
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    windows = os.path.join(args.build, "windows")
    stub = os.path.join(windows, "quillpack.exe")
    qpkbuild = os.path.join(args.build, "native", "qpkbuild")
    ui = WineUI(windows)

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
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
