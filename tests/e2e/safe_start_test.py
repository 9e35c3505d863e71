"""DLLs planted beside a setup program, as in a Downloads folder, under the
names of DLLs that the process loads on demand. Wine looks beside the program
only for DLLs it is told to prefer as native, so the runs here name them so;
each planted copy leaves a ".loaded" file beside itself when it is loaded.

The theme library is what the first window loads by name. Wine resolves its
own DLLs' delayed imports (the theme library's use of msimg32) through the
search path the process started with, which no call of the program changes;
the setup program therefore takes msimg32 from the system directory as soon
as the search is limited, and every later load finds that copy."""

import glob
import os
import shutil
import subprocess
import tempfile
import unittest

from wine_ui import run_tests, windows_path, wine

PLANTED = ("msimg32.dll", "uxtheme.dll")
WELCOME = "Quillpack Utility v4.0"


class PlantedDlls(unittest.TestCase):
    ui = None
    program = None
    folder = None
    setup = None
    overrides = None

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(dir=cls.ui.build_dir, prefix="e2e-safe-start-")
        sample = os.path.join(os.environ["QP_SOURCE_DIR"], "examples", "sample", "sample.toml")
        cls.setup = os.path.join(cls.folder, "sample-setup.exe")
        # The Windows build of the builder.
        subprocess.run(wine(cls.ui.target.qpkbuild_exe, "build", windows_path(sample),
                            "-o", windows_path(cls.setup), "--stub", windows_path(cls.program)),
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        cls.overrides = os.environ.get("WINEDLLOVERRIDES")
        usual = cls.overrides if cls.overrides is not None else "mscoree,mshtml="
        os.environ["WINEDLLOVERRIDES"] = usual + ";" + ",".join(n[:-4] for n in PLANTED) + "=n,b"

    @classmethod
    def tearDownClass(cls):
        if cls.overrides is None:
            os.environ.pop("WINEDLLOVERRIDES", None)
        else:
            os.environ["WINEDLLOVERRIDES"] = cls.overrides
        shutil.rmtree(cls.folder, ignore_errors=True)

    def downloads(self, name, program, planted=PLANTED):
        """A folder holding a copy of the program and the planted DLLs."""
        folder = os.path.join(self.folder, name)
        os.makedirs(folder)
        shutil.copy(program, folder)
        for dll in planted:
            shutil.copy(os.path.join(self.ui.build_dir, "planted.dll"), os.path.join(folder, dll))
        return os.path.join(folder, os.path.basename(program))

    @staticmethod
    def loaded(program):
        """The planted DLLs that were loaded, with the program that loaded each."""
        found = {}
        for marker in glob.glob(os.path.join(os.path.dirname(program), "*.loaded")):
            with open(marker, "rb") as f:
                found[os.path.basename(marker)[:-len(".loaded")]] = f.read().decode("latin-1")
        return found

    def first_box(self, program, caption, button, *args):
        """Runs the program up to its first box; returns the planted DLLs
        loaded by then, those loaded in all, and the exit code."""
        running = self.ui.start(program, *args)
        try:
            self.assertTrue(self.ui.wait(caption), "no box %r" % caption)
            at_box = self.loaded(program)
            self.ui.click(caption, button)
            return at_box, self.loaded(program), running.exit_code()
        finally:
            running.kill()
            self.ui.kill(os.path.basename(program))

    def test_program_without_the_limit_loads_the_planted_dll(self):
        # Proves the attack under this Wine: the first window alone loads one.
        program = self.downloads("open", os.path.join(self.ui.build_dir, "dll_probe.exe"))
        at_box, _, _ = self.first_box(program, "DLL probe", "OK")
        self.assertIn("uxtheme.dll", at_box, "the first window loaded no planted DLL")
        for loader in at_box.values():
            self.assertTrue(loader.lower().endswith("\\dll_probe.exe"), loader)

    def test_limited_search_takes_the_system_copy(self):
        program = self.downloads("limited", os.path.join(self.ui.build_dir, "dll_probe.exe"))
        at_box, at_end, code = self.first_box(program, "DLL probe", "OK", "restricted")
        self.assertEqual(at_box, {})
        self.assertEqual(at_end, {})
        self.assertEqual(code, 0, "msimg32.dll by name did not come from the system directory")

    def test_setup_loads_no_dll_beside_it(self):
        setup = self.downloads("setup", self.setup)
        at_box, at_end, code = self.first_box(setup, WELCOME, "No")
        self.assertEqual(at_box, {})
        self.assertEqual(at_end, {})
        self.assertEqual(code, 2)


if __name__ == "__main__":
    run_tests(PlantedDlls)
