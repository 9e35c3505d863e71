"""A vendor's whole path for package managers, then a package manager's:
a setup built with its manifests and signed with a throwaway certificate
(the digest they give is the signed file's), installed under Wine with
exactly the manifest's silent and install-location switches, its
registration read back and compared with AppsAndFeaturesEntries and
ProductCode, and removed again through the registered quiet command."""

import os
import subprocess
import sys
import unittest

import yaml

from install_support import UNINSTALL, Workspace, exact_value, read_bytes, write_sources
from uninstall_support import Products, exists, registration
from wine_ui import run_tests, unix_path, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "qpkbuild"))
import validate_manifests  # noqa: E402

PRODUCT = "QP Manifests"
DIRECTORY = "C:\\QP E2E\\Package Managed"
SOURCES = {
    "readme.txt": b"Installed by a package manager\r\n",
    "bin/tool.txt": b"tool\r\n" * 200,
}
PROJECT = """
[product]
name = "QP Manifests"
publisher = "QP E2E Vendor"
version = "3.10"
default_directory = "QP E2E\\\\Manifests Default"
flags = ["WithUninstaller", "AskDirectory"]

[manifests]
identifier = "QPE2E.Manifests"
url = "https://downloads.example.com/qp/3.10/qp%20manifests%20setup.exe"
license = "Proprietary"
short_description = "A product the end-to-end tests install as a package manager would."

[[files]]
source = "readme.txt"

[[files]]
source = "bin/tool.txt"
dest = "bin/tool.txt"
"""
SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "qpkbuild", "schemas")


class PackageManager(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.workspace = Workspace(cls.ui, "e2e-manifests-")
        folder = cls.workspace.folder
        write_sources(folder, SOURCES)
        project = os.path.join(folder, "project.toml")
        with open(project, "w") as f:
            f.write(PROJECT)
        cls.setup = os.path.join(folder, "out", "qp manifests setup.exe")
        cls.manifests = os.path.join(folder, "manifests")
        os.makedirs(os.path.dirname(cls.setup))
        args = ["build", project, "-o", cls.setup, "--stub", cls.program, "--manifests", cls.manifests]
        # The signing tool is a Linux program: it runs from the native
        # builder's shell only.
        cls.signed = cls.ui.target.native_qpkbuild is not None
        if cls.signed:
            key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                            "-days", "2", "-subj", "/CN=QP E2E Manifests"], check=True, capture_output=True)
            args += ["--sign", "osslsigncode sign -certs '%s' -key '%s' -n 'QP Manifests' -in {file} -out {file}.s"
                               " && mv {file}.s {file}" % (cert, key)]
        cls.built = cls.workspace.qpkbuild(*args)
        cls.installer = cls.load("installer")
        cls.products = Products(cls.ui, folder)
        cls.products.forget(PRODUCT, DIRECTORY)

    @classmethod
    def tearDownClass(cls):
        cls.products.forget(PRODUCT, DIRECTORY)
        cls.workspace.remove()

    @classmethod
    def load(cls, kind):
        for name in os.listdir(cls.manifests):
            with open(os.path.join(cls.manifests, name), encoding="utf-8") as f:
                data = yaml.safe_load(f)
            if data["ManifestType"] == kind:
                return data
        raise AssertionError("no %s manifest in %s" % (kind, cls.manifests))

    def test_manifests_validate_and_describe_the_signed_setup(self):
        self.assertEqual(validate_manifests.problems(validate_manifests.load_schemas(SCHEMAS), self.manifests,
                                                     self.setup), [])
        self.assertEqual(self.signed, ", signed," in self.built, self.built)
        entry, = self.installer["Installers"]
        self.assertEqual(entry["Architecture"], self.ui.target.arch)

    def test_installed_as_the_switches_say_it_registers_what_the_manifest_names(self):
        switches = self.installer["InstallerSwitches"]
        line = '"%s" %s %s' % (windows_path(self.setup), switches["Silent"],
                               switches["InstallLocation"].replace("<INSTALLPATH>", DIRECTORY))
        code = self.workspace.run_line(line)
        self.assertIn(code, [0] + self.installer["InstallerSuccessCodes"])

        # The uninstall key's name is the ProductCode; its values are the
        # entry's, exactly as stored.
        self.assertEqual(self.installer["ProductCode"], PRODUCT)
        entry, = self.installer["AppsAndFeaturesEntries"]
        self.assertEqual(entry["ProductCode"], self.installer["ProductCode"])
        key = UNINSTALL + self.installer["ProductCode"]
        self.assertIsNotNone(registration(PRODUCT), "no uninstall key named by the ProductCode")
        for name in ("DisplayName", "Publisher", "DisplayVersion"):
            self.assertEqual(exact_value(key, name), entry[name], name)
        self.assertEqual(exact_value(key, "InstallLocation"), DIRECTORY)
        self.assertEqual(read_bytes(unix_path(DIRECTORY + "\\readme.txt")), SOURCES["readme.txt"])

        self.assertEqual(self.products.uninstall_quietly(PRODUCT), 0)
        self.assertIsNone(registration(PRODUCT))
        self.assertFalse(exists(DIRECTORY + "\\readme.txt"))


if __name__ == "__main__":
    run_tests(PackageManager)
