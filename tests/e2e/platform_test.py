"""Platform services that show something to the user: the box for a
program that cannot be started, and a document opened in the text viewer."""

import argparse
import os
import sys
import tempfile
import unittest

from wine_ui import WineUI, windows_path


class PlatformServices(unittest.TestCase):
    ui = None
    probe = None

    def tearDown(self):
        self.ui.kill("platform_probe.exe")
        self.ui.kill("notepad.exe")

    def test_missing_program_shows_unable_to_create_process(self):
        running = self.ui.start(self.probe, "launch", "C:\\no\\such\\program.exe")
        self.assertTrue(self.ui.wait("Error"), "no error box")
        text = self.ui.text("Error")
        self.assertTrue(text.startswith("Unable to create process:\n"), text)
        self.assertIn("C:\\no\\such\\program.exe", text)
        self.ui.click("Error", "OK")
        self.assertEqual(running.exit_code(), 4)

    def test_view_document_opens_the_file_in_notepad(self):
        with tempfile.TemporaryDirectory(dir=self.ui.build_dir) as folder:
            log = os.path.join(folder, "Install.LOG")
            with open(log, "w") as f:
                f.write("Install date: 1/2/2026\r\n")
            running = self.ui.start(self.probe, "view", windows_path(log))
            self.assertEqual(running.exit_code(), 0)
            self.assertTrue(self.ui.wait("Install.LOG - Notepad"), "notepad did not open the log")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args, rest = parser.parse_known_args()
    PlatformServices.ui = WineUI(args.build)
    PlatformServices.probe = os.path.join(args.build, "platform_probe.exe")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
