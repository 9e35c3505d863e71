"""Platform services that show something to the user: the box for a
program that cannot be started, and a document opened in the text viewer."""

import os
import tempfile
import unittest

from wine_ui import run_tests, windows_path


class PlatformServices(unittest.TestCase):
    ui = None
    program = None

    def tearDown(self):
        self.ui.kill("platform_probe.exe")
        self.ui.kill("notepad.exe")

    def test_missing_program_shows_unable_to_create_process(self):
        running = self.ui.start(self.program, "launch", "C:\\no\\such\\program.exe")
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
            running = self.ui.start(self.program, "view", windows_path(log))
            self.assertEqual(running.exit_code(), 0)
            self.assertTrue(self.ui.wait("Install.LOG - Notepad"), "notepad did not open the log")


if __name__ == "__main__":
    run_tests(PlatformServices, "platform_probe.exe")
