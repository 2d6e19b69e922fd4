#!/usr/bin/env python3
"""Checks the bill of materials of a release ZIP.

    bom_check.py <zip> <version> [<schema folder>]

The ZIP's bill, its one <module>.cdx.json (imdaemon.cdx.json in the
release, imdaemon-selftest.cdx.json in the self-test), must validate against
the CycloneDX 1.5 JSON schema as published (the schema files of the npm package
@cyclonedx/cyclonedx-library, which scripts/deps installs; the folder is
found with npm root -g unless given), with python3-jsonschema; name the
<module> with <version> and its source revision; list every other file of
the ZIP, and nothing else, with the SHA-256 of the ZIP's file; and give every
linked component a version and a licence, which the ZIP's notices file
(THIRD-PARTY-NOTICES*.txt) names.
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import urllib.parse
import zipfile

import jsonschema

PACKAGE = "@cyclonedx/cyclonedx-library"


def validator(folder):
    """A draft-07 validator of the 1.5 schema, its references resolved to the
    schema files beside it (they name each other relative to the $id)."""
    store, root = {}, None
    for name in sorted(os.listdir(folder)):
        if name.endswith(".schema.json"):
            with open(os.path.join(folder, name)) as f:
                schema = json.load(f)
            store[schema.get("$id", name)] = schema
            store[urllib.parse.urljoin(schema.get("$id", ""), name)] = schema
            if name.startswith("bom-1.5."):
                root = schema
    if root is None:
        raise SystemExit("bom_check.py: no bom-1.5 schema in %s" % folder)
    resolver = jsonschema.RefResolver(root["$id"], root, store=store)
    return jsonschema.Draft7Validator(root, resolver=resolver, format_checker=jsonschema.FormatChecker())


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.strip().splitlines()[2])
        return 2
    path, version = argv[0], argv[1]
    if len(argv) == 3:
        folder = argv[2]
    else:
        root = subprocess.run(["npm", "root", "-g"], capture_output=True, text=True).stdout.strip()
        folder = os.path.join(root, PACKAGE, "res", "schema")
    if not os.path.isdir(folder):
        print("FAIL: no CycloneDX schema folder %s: install %s (scripts/deps)" % (folder, PACKAGE))
        return 1
    problems = []
    with zipfile.ZipFile(path) as archive:
        files = {name: archive.read(name) for name in archive.namelist()}
    boms = [name for name in files if name.endswith(".cdx.json") and "/" not in name]
    notices_names = [name for name in files if re.match(r"^THIRD-PARTY-NOTICES.*\.txt$", name)]
    if len(boms) != 1 or len(notices_names) != 1:
        print("FAIL: %s holds %s: not one bill of materials and one notices file" % (path, boms + notices_names))
        return 1
    bom_name, notices_name = boms[0], notices_names[0]
    expected_module = bom_name[:-len(".cdx.json")]
    bom = json.loads(files.pop(bom_name))
    for error in sorted(validator(folder).iter_errors(bom), key=lambda e: list(e.absolute_path)):
        problems.append("schema: %s at %s" % (error.message, "/".join(map(str, error.absolute_path))))
    module = bom.get("metadata", {}).get("component", {})
    revisions = [p.get("value", "") for p in module.get("properties", []) if p.get("name") == "imdaemon:source-revision"]
    if module.get("name") != expected_module or module.get("version") != version:
        problems.append("the module is %r %r, not %s %s" % (module.get("name"), module.get("version"),
                                                             expected_module, version))
    if len(revisions) != 1 or not re.match(r"^([0-9a-f]{40}(-modified)?|archive)$", revisions[0]):
        problems.append("the module names no source revision: %s" % revisions)
    listed = {}
    libraries = []
    for component in bom.get("components", []):
        if component.get("type") == "file":
            hashes = {h["alg"]: h["content"] for h in component.get("hashes", [])}
            listed[component["name"]] = hashes.get("SHA-256")
        else:
            libraries.append(component)
    for name in sorted(set(files) | set(listed)):
        if name not in listed:
            problems.append("%s is in the ZIP but not in the bill of materials" % name)
        elif name not in files:
            problems.append("%s is in the bill of materials but not in the ZIP" % name)
        elif listed[name] != hashlib.sha256(files[name]).hexdigest():
            problems.append("%s: SHA-256 %s in the bill, %s in the ZIP"
                            % (name, listed[name], hashlib.sha256(files[name]).hexdigest()))
    notices = files.get(notices_name, b"").decode("utf-8", "replace")
    if not libraries:
        problems.append("names no linked component")
    for component in libraries:
        if not component.get("version") or not component.get("licenses"):
            problems.append("%s has no version or no licence" % component.get("name"))
        if "\n%s (" % component.get("name") not in notices.replace("\r\n", "\n"):
            problems.append("%s is not named in %s" % (component.get("name"), notices_name))
    print("%s: %s: %d files, components %s" % (path, bom_name, len(listed), ", ".join(
        "%s %s (%s)" % (c.get("name"), c.get("version"), c.get("licenses", [{}])[0].get("expression")) for c in libraries)))
    for problem in problems:
        print("FAIL: %s" % problem)
    print("FAIL" if problems else "PASS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
