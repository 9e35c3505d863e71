"""The program's entry point under Wine: the boxes a user sees when the
program is started without an archive or with a bad command line."""

import unittest

from wine_ui import run_tests

NO_ARCHIVE = ("This program performs installations and uninstallations.\n"
              "There is no installation archive present.\n"
              "No Uninstallation parameters were specified.\n\n"
              "You should not delete this program or execute it directly.")

USAGE_TAIL = ("\n\nUsage:\nUninstall.EXE [/a] [/d:<dir>] [/n:<name>] [/u:<name>]\n\n"
              "/a\tAutomatic mode\n/d:\"dir\"\tOverride installation directory\n"
              "/n:\"name\"\tOverride product name\n/u:\"name\"\tUninstall product by name")


class EntryPoint(unittest.TestCase):
    ui = None
    program = None

    def fatal_box(self, *args, screenshot=None):
        text, code = self.ui.fatal_box(self.program, *args, screenshot=screenshot)
        self.assertIsNotNone(text, "no fatal box for %r" % (args,))
        return text, code

    def test_bare_program_says_no_archive(self):
        text, code = self.fatal_box(screenshot="no-archive")
        self.assertEqual(text, NO_ARCHIVE)
        self.assertEqual(code, 1)

    def test_illegal_atom_shows_usage(self):
        text, code = self.fatal_box("/x", screenshot="usage")
        self.assertEqual(text, "Illegal command line atom:\nx" + USAGE_TAIL)
        self.assertEqual(code, 1)

    def test_uninstall_without_name_shows_usage(self):
        text, code = self.fatal_box("/u")
        self.assertEqual(text, "Product name required" + USAGE_TAIL)
        self.assertEqual(code, 1)

    def test_parameter_without_switch_shows_usage(self):
        text, code = self.fatal_box("setup")
        self.assertEqual(text, "Unexpected command line parameter:\nsetup" + USAGE_TAIL)
        self.assertEqual(code, 1)


if __name__ == "__main__":
    run_tests(EntryPoint)
