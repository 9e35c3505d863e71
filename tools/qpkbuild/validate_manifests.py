#!/usr/bin/env python3
"""Checks the package-manager manifests qpkbuild writes: each of the three
files (version, installer, defaultLocale) against its JSON schema, the
three against each other, and, given the setup program, the digest and the
file name its download URL names.

    validate_manifests.py --schemas DIR MANIFEST_DIR [--setup SETUP]

Exits 0 when everything holds, 1 with one line per problem otherwise.
Needs Debian's python3-jsonschema and python3-yaml."""

import argparse
import hashlib
import json
import os
import sys
import urllib.parse

import jsonschema
import yaml

TYPES = ("version", "installer", "defaultLocale")


def load_schemas(folder):
    schemas = {}
    for kind in TYPES:
        with open(os.path.join(folder, "manifest.%s.1.10.0.json" % kind), encoding="utf-8") as f:
            schemas[kind] = json.load(f)
    return schemas


def problems(schemas, folder, setup=None):
    """Every problem found, as readable lines; empty when all is well."""
    found, manifests = [], {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".yaml"):
            continue
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            try:
                data = yaml.safe_load(f)
            except yaml.YAMLError as e:
                found.append("%s: not YAML: %s" % (name, e))
                continue
        kind = data.get("ManifestType") if isinstance(data, dict) else None
        if kind not in TYPES:
            found.append("%s: no ManifestType of %s" % (name, ", ".join(TYPES)))
            continue
        if kind in manifests:
            found.append("%s: a second %s manifest" % (name, kind))
            continue
        manifests[kind] = (name, data)
        validator = jsonschema.Draft7Validator(schemas[kind])
        for error in sorted(validator.iter_errors(data), key=lambda e: list(e.absolute_path)):
            where = ".".join(str(p) for p in error.absolute_path) or "(top)"
            found.append("%s: %s: %s" % (name, where, error.message))
    for kind in TYPES:
        if kind not in manifests:
            found.append("no %s manifest in %s" % (kind, folder))
    if found:
        return found

    version, installer, locale = (manifests[k][1] for k in TYPES)
    identifier = version["PackageIdentifier"]
    for kind in TYPES:
        name, data = manifests[kind]
        for field in ("PackageIdentifier", "PackageVersion"):
            if data[field] != version[field]:
                found.append("%s: %s %r differs from the version manifest's %r" % (name, field, data[field], version[field]))
    if locale["PackageLocale"] != version["DefaultLocale"]:
        found.append("the defaultLocale manifest's PackageLocale differs from DefaultLocale")
    expected = {"version": identifier + ".yaml", "installer": identifier + ".installer.yaml",
                "defaultLocale": "%s.locale.%s.yaml" % (identifier, version["DefaultLocale"])}
    for kind in TYPES:
        if manifests[kind][0] != expected[kind]:
            found.append("%s: expected the name %s" % (manifests[kind][0], expected[kind]))

    if setup is not None:
        with open(setup, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        for entry in installer["Installers"]:
            if entry["InstallerSha256"].lower() != digest:
                found.append("InstallerSha256 %s is not the digest of %s (%s)" % (entry["InstallerSha256"], setup, digest))
            path = urllib.parse.urlsplit(entry["InstallerUrl"]).path
            if urllib.parse.unquote(path.rsplit("/", 1)[-1]) != os.path.basename(setup):
                found.append("InstallerUrl %s does not name %s" % (entry["InstallerUrl"], os.path.basename(setup)))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--schemas", required=True, help="folder of the 1.10.0 JSON schemas")
    parser.add_argument("--setup", help="the setup program the manifests describe")
    parser.add_argument("manifests", help="folder holding the three manifests")
    args = parser.parse_args()
    found = problems(load_schemas(args.schemas), args.manifests, args.setup)
    for line in found:
        print(line)
    if not found:
        print("%s: 3 manifests valid" % args.manifests)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
