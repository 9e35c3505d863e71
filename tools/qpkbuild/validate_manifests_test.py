#!/usr/bin/env python3
"""The manifests qpkbuild writes, checked by validate_manifests against the
package manager's schemas: the sample product for both architectures,
texts that YAML would misread unless quoted kept exact, and the validator
itself refusing manifests that carry a fault. (A setup signed after it is
built: tests/e2e/manifests_test.py.)

    validate_manifests_test.py --qpkbuild PATH --schemas DIR --sample DIR"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import yaml

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import validate_manifests  # noqa: E402

ARGS = None
I386, AMD64 = 0x14C, 0x8664

def pe_stub(machine, length=4096):
    """A PE32 program image for the machine, with a linker's CheckSum."""
    image = bytearray((i * 37 + 11) & 0xFF for i in range(length))
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, 0x84, machine, 0, 0, 0, 0, 224, 0)
    struct.pack_into("<H", image, 0x98, 0x10B)
    struct.pack_into("<I", image, 0x98 + 64, 0x26C87)
    struct.pack_into("<I", image, 0x98 + 92, 16)
    struct.pack_into("<II", image, 0x98 + 128, 0, 0)
    return bytes(image)


def toml_text(value):
    return json.dumps(value)  # a JSON string of ASCII is a TOML basic string


class Manifests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="qpk-manifests-")
        cls.schemas = validate_manifests.load_schemas(ARGS.schemas)
        cls.stubs = {}
        for machine in (I386, AMD64):
            cls.stubs[machine] = os.path.join(cls.folder, "stub-%x.exe" % machine)
            with open(cls.stubs[machine], "wb") as f:
                f.write(pe_stub(machine))
        cls.sample = os.path.join(cls.folder, "sample")
        shutil.copytree(ARGS.sample, cls.sample)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def build(self, name, project, machine=I386, *extra):
        """Builds project (a path) into NAME/setup.exe with the manifests in
        NAME/manifests; returns (setup, manifest folder)."""
        out = os.path.join(self.folder, name)
        os.makedirs(out, exist_ok=True)
        setup = os.path.join(out, "setup.exe")
        manifests = os.path.join(out, "manifests")
        result = subprocess.run([ARGS.qpkbuild, "build", project, "-o", setup, "--stub", self.stubs[machine],
                                 "--manifests", manifests] + list(extra), capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        return setup, manifests

    def sample_project(self, name, manifests_table):
        path = os.path.join(self.sample, name + ".toml")
        with open(os.path.join(self.sample, "sample.toml")) as f:
            text = f.read()
        with open(path, "w") as f:
            f.write(text + "\n[manifests]\n" + manifests_table)
        return path

    def load(self, folder, kind):
        for name in os.listdir(folder):
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                data = yaml.safe_load(f)
            if data["ManifestType"] == kind:
                return data
        self.fail("no %s manifest" % kind)

    SAMPLE_TABLE = ('identifier = "QuillpackExamples.Sample"\n'
                    'url = "https://downloads.example.com/sample/1.0/setup.exe"\nlicense = "MIT"\n')

    def test_sample_validates_for_both_architectures(self):
        project = self.sample_project("both", self.SAMPLE_TABLE)
        for machine, arch in ((I386, "x86"), (AMD64, "x64")):
            with self.subTest(arch):
                setup, folder = self.build("sample-" + arch, project, machine)
                self.assertEqual(validate_manifests.problems(self.schemas, folder, setup), [])
                installer = self.load(folder, "installer")
                self.assertEqual([i["Architecture"] for i in installer["Installers"]], [arch])
                self.assertEqual(installer["ProductCode"], "Quillpack Sample")
                self.assertEqual(installer["AppsAndFeaturesEntries"], [{
                    "DisplayName": "Quillpack Sample", "Publisher": "Quillpack Examples",
                    "DisplayVersion": "1.0", "ProductCode": "Quillpack Sample"}])

    def test_texts_yaml_would_misread_stay_exact(self):
        texts = {"name": 'Tool "Box" #1 - yes: no', "publisher": "'Acme' & Co. {x} [y]", "version": "1.10",
                 "license": "MIT # or not", "short_description": "no: really\\ truly"}
        project = os.path.join(self.folder, "odd.toml")
        readme = os.path.join(self.sample, "readme.txt")
        with open(project, "w") as f:
            f.write("[product]\nname = %s\npublisher = %s\nversion = %s\nflags = [\"WithUninstaller\"]\n"
                    "start_menu_folder = \"Tool Box\"\n"
                    "[manifests]\nidentifier = \"Acme.Odd\"\nurl = \"https://example.com/setup.exe\"\n"
                    "license = %s\nshort_description = %s\n[[files]]\nsource = %s\n" % (
                        toml_text(texts["name"]), toml_text(texts["publisher"]), toml_text(texts["version"]),
                        toml_text(texts["license"]), toml_text(texts["short_description"]), toml_text(readme)))
        setup, folder = self.build("odd", project)
        self.assertEqual(validate_manifests.problems(self.schemas, folder, setup), [])
        installer, locale = self.load(folder, "installer"), self.load(folder, "defaultLocale")
        self.assertEqual(installer["AppsAndFeaturesEntries"][0], {
            "DisplayName": texts["name"], "Publisher": texts["publisher"], "DisplayVersion": "1.10",
            "ProductCode": texts["name"]})
        self.assertEqual(locale["License"], texts["license"])
        self.assertEqual(locale["ShortDescription"], texts["short_description"])
        self.assertEqual(installer["PackageVersion"], "1.10")
        self.assertNotIn("InstallLocation", installer["InstallerSwitches"])

    def test_validator_refuses_each_fault(self):
        project = self.sample_project("faults", self.SAMPLE_TABLE)
        setup, good = self.build("faults", project)
        installer = "QuillpackExamples.Sample.installer.yaml"
        locale = "QuillpackExamples.Sample.locale.en-US.yaml"

        def edit(name, old, new):
            def change(folder):
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                self.assertIn(old, text)
                with open(path, "w", encoding="utf-8") as f:
                    f.write(text.replace(old, new))
            return change

        def every_file(old, new):
            def change(folder):
                for name in os.listdir(folder):
                    edit(name, old, new)(folder)
            return change

        def damage_setup(_):
            with open(setup, "r+b") as f:
                f.seek(100)
                byte = f.read(1)
                f.seek(100)
                f.write(bytes([byte[0] ^ 1]))

        cases = [
            ("License missing", edit(locale, 'License: "MIT"\n', ""), "'License' is a required property"),
            ("unknown scope", edit(installer, "Scope: machine", "Scope: everyone"), "'everyone' is not one of"),
            ("identifier of one part", every_file('"QuillpackExamples.Sample"', '"Sample"'), "does not match"),
            ("versions differ", edit(locale, 'PackageVersion: "1.0"', 'PackageVersion: "1.1"'), "differs from"),
            ("another file's URL", edit(installer, "1.0/setup.exe", "1.0/other.exe"), "does not name setup.exe"),
            ("a manifest missing", lambda folder: os.remove(os.path.join(folder, locale)), "no defaultLocale manifest"),
            ("setup changed after", damage_setup, "is not the digest of"),
        ]
        with open(setup, "rb") as f:
            original = f.read()
        for what, change, expected in cases:
            with self.subTest(what):
                folder = os.path.join(self.folder, "fault")
                shutil.rmtree(folder, ignore_errors=True)
                shutil.copytree(good, folder)
                with open(setup, "wb") as f:
                    f.write(original)
                self.assertEqual(validate_manifests.problems(self.schemas, folder, setup), [])
                change(folder)
                found = validate_manifests.problems(self.schemas, folder, setup)
                self.assertTrue(any(expected in line for line in found), found)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--qpkbuild", required=True)
    parser.add_argument("--schemas", required=True)
    parser.add_argument("--sample", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
