"""The main job: pack the sample product with qpkbuild and run its setup
program under Wine, reporting what the user sees and the exit code.

Run by setup.sh inside the Wine session it prepares."""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_ui import WineUI  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def show_first_window(ui, running, captions):
    """Waits for the first of the known windows, prints its texts, answers it."""
    for _ in range(60):
        for caption, button in captions:
            if ui.wait(caption, 500):
                print("[%s]\n%s" % (caption, ui.text(caption)))
                shot = ui.screenshot("main-job")
                print("screenshot: %s" % shot)
                ui.click(caption, button)
                return
        if running.process.poll() is not None:
            return


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    windows = os.path.join(args.build, "windows")
    stub = os.path.join(windows, "quillpack.exe")
    qpkbuild = os.path.join(args.build, "native", "qpkbuild")
    ui = WineUI(windows)

    if os.path.exists(qpkbuild):
        out_dir = os.path.join(args.build, "sample")
        os.makedirs(out_dir, exist_ok=True)
        setup = os.path.join(out_dir, "setup.exe")
        project = os.path.join(ROOT, "examples", "sample", "sample.toml")
        subprocess.run([qpkbuild, "build", project, "-o", setup, "--stub", stub], check=True)
        subprocess.run([qpkbuild, "list", setup], check=True)
        print("\nrunning %s under Wine" % setup)
    else:
        setup = stub
        print("qpkbuild is not built; running the bare program, which must report that it has no archive")

    running = ui.start(setup)
    try:
        show_first_window(ui, running, [("FATAL ERROR", "OK"), ("Error", "OK")])
        code = running.exit_code(timeout=600)
    finally:
        running.kill()
    print("exit code: %d" % code)
    return 0


if __name__ == "__main__":
    sys.exit(main())
