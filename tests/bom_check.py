#!/usr/bin/env python3
"""Checks the bill of materials of a release ZIP.

    bom_check.py <zip> <version> [<schema folder>] [--debug DIR] [--objdump PROGRAM]
                 [--bill NAME --notices NAME --module MODULE]

The ZIP's bill, its one <module>.cdx.json (imdaemon.cdx.json in the
release, imdaemon-selftest.cdx.json in the self-test), must validate against
the CycloneDX 1.5 JSON schema as published (the schema files of the npm package
@cyclonedx/cyclonedx-library, which scripts/deps installs; the folder is
found with npm root -g unless given), with python3-jsonschema; name the
<module> with <version> and its source revision; list every other file of
the ZIP, and nothing else, with the SHA-256 of the ZIP's file; and give every
linked component a version and a licence, which the ZIP's notices file
(THIRD-PARTY-NOTICES*.txt) names.

Each Debian package is one component, its package URL named once in the
bill (as every bom-ref), holding its parts; every licence of a part is one of
its package's, and the notices hold the package's copyright file
(/usr/share/doc/<package>/copyright) whole. Where that file is machine-
readable (DEP-5), this check reads it on its own: each source file the
notices list under a licence of a part has that licence there (the last
Files paragraph that matches it), and every licence it has; the part has
each such licence in the bill, an SPDX one by its id, any other by its name,
with the copyright file's text. Where it is not, the notices say so.

A ZIP that holds more than one bill or notices file (the Windows Installer
package's files, which include the release's own bill and notices, beside
the package's) names the one to check with --bill, its notices with
--notices, and the module the bill must name with --module.

With --debug DIR, the folder of the binaries' debug files (<binary>.debug,
which the ZIP's binary names with their CRC), every compile unit of each
binary's debug information that is not the module's own (/imdaemon/...)
must be a source file of such a package that the notices list, under each of
its licences, for a part the binary depends on in the bill; or a file the
notices name as one whose folder the debug information does not give.
PROGRAM reads the debug information (a mingw-w64 objdump unless given).
"""
import collections
import hashlib
import json
import os
import posixpath
import re
import shutil
import struct
import subprocess
import sys
import urllib.parse
import zipfile
import zlib

import jsonschema

PACKAGE = "@cyclonedx/cyclonedx-library"
RULE = "=" * 78


def additional_items(validator, allowed, instance, schema):
    """additionalItems as jsonschema gives it, but for the message of a
    refusal, which jsonschema 4.26 makes by sorting the extra items: a list
    of three licence objects, valid as the schema's first choice of a
    licence list, made its check of the second choice fail with a TypeError."""
    items = schema.get("items", {})
    if not validator.is_type(instance, "array") or validator.is_type(items, "object"):
        return
    if validator.is_type(allowed, "object"):
        for index, item in enumerate(instance[len(items):], start=len(items)):
            yield from validator.descend(item, allowed, path=index)
    elif not allowed and len(instance) > len(items):
        yield jsonschema.ValidationError("Additional items are not allowed (%d unexpected)"
                                         % (len(instance) - len(items)))


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
    checker = jsonschema.validators.extend(jsonschema.Draft7Validator, {"additionalItems": additional_items})
    return checker(root, resolver=resolver, format_checker=jsonschema.FormatChecker())


# DEP-5 licence names and the SPDX licences they are (compared without case).
SPDX_OF = {"apache-2.0": "Apache-2.0", "bsd-2-clause": "BSD-2-Clause", "bsd-3-clause": "BSD-3-Clause",
           "expat": "MIT", "gpl-2+": "GPL-2.0-or-later", "gpl-3+": "GPL-3.0-or-later", "isc": "ISC",
           "lgpl-2+": "LGPL-2.0-or-later", "lgpl-2.1+": "LGPL-2.1-or-later", "zlib": "Zlib", "zpl-2.1": "ZPL-2.1"}


def words(text):
    """A licence text compared without its layout (DEP-5's " ." lines included)."""
    return " ".join(word for word in (text or "").split() if word != ".") or None


class Dep5:
    """What a machine-readable copyright file says of a source file: its
    Files paragraphs in order (the last that matches wins; * and ? match any
    text and any character, / included), the texts of each licence name, and
    the top folders its patterns start with."""

    def __init__(self, text):
        paragraphs = re.split(r"\n(?:[ \t]*\n)+", text.strip())
        fields = [{name.lower(): value for name, value in re.findall(r"^([\w-]+):[ \t]*(.*(?:\n[ \t].*)*)", p, re.M)}
                  for p in paragraphs]
        if not fields or "format" not in fields[0]:
            raise ValueError("not machine-readable")
        self.files, self.texts, self.tops = [], collections.defaultdict(set), set()
        for paragraph in fields[1:]:
            if "license" not in paragraph:
                continue
            name, _, text = paragraph["license"].partition("\n")
            if words(text):
                self.texts[name.strip().lower()].add(words(text))
            if "files" in paragraph:
                patterns = paragraph["files"].split()
                self.files.append(([re.compile("".join(".*" if c == "*" else "." if c == "?" else re.escape(c)
                                                       for c in p), re.S) for p in patterns], name.strip()))
                self.tops |= {p.split("/")[0] for p in patterns if "/" in p and "*" not in p.split("/")[0]}

    def path(self, name, comp_dir):
        """A compile unit's source file from the top of the source tree, or None."""
        parts = posixpath.normpath(posixpath.join(comp_dir, name)).split("/")
        starts = [at for at, part in enumerate(parts[:-1]) if part in self.tops]
        return "/".join(parts[starts[0]:]) if starts else None

    def licences(self, path):
        """The licence names of a source file (an "or" choice is one)."""
        found = None
        for regexes, expression in self.files:
            if any(r.fullmatch(path) for r in regexes):
                found = expression
        if found is None:
            return []
        if re.search(r"\s+or\s+", found, re.I):
            return [found]
        return re.split(r"\s*,?\s+and\s+", found, flags=re.I)


def dep5_of(package):
    try:
        with open("/usr/share/doc/%s/copyright" % package, encoding="utf-8") as f:
            text = f.read()
    except OSError:
        return None, None
    try:
        return text, Dep5(text)
    except ValueError:
        return text, None


def notices_parts(text):
    """[{part, package, version, basis, licences: {(key, short): {binaries,
    sources, notes}}, notes}] of the notices: each part's line, its Debian
    package line, and each licence line with the files listed under it."""
    lines = text.replace("\r\n", "\n").split("\n" + RULE + "\n", 1)[0].split("\n")
    parts, part, licence = [], None, None
    for at, line in enumerate(lines):
        head = re.match(r"^(\S.*?) \((.*)\), in (.+)$", line)
        if head and at + 1 < len(lines) and lines[at + 1].startswith("    Debian package "):
            part = {"part": head.group(1), "binaries": set(head.group(3).split(", ")), "licences": {},
                    "notes": [], "basis": []}
            parts.append(part)
            licence = None
        elif part is None or not line.strip():
            continue
        elif line.startswith("    Debian package "):
            part["package"], part["version"] = line.split()[2:4]
        elif re.match(r"^    \S.*, in .+:$", line):
            named, binaries = re.match(r"^    (.*?), in ([^:]+):$", line).groups()
            key, short = re.match(r"^(.*?)(?: \((.*) in the copyright file\))?$", named).groups()
            licence = part["licences"].setdefault((key, short or key), {
                "binaries": set(binaries.split(", ")), "sources": set(), "notes": []})
        elif licence is not None and line.startswith("        objects "):
            licence["notes"].append(line.strip())
        elif licence is not None and line.startswith("        "):
            licence["sources"].update(line.split())
        elif line.startswith("    "):
            part["basis" if "copyright file" in line else "notes"].append(line.strip())
            licence = None
    return parts


def licence_key(choice):
    if "expression" in choice:
        return ("expression", choice["expression"], None)
    licence = choice.get("license", {})
    kind = "id" if "id" in licence else "name"
    return kind, licence.get(kind), words(licence.get("text", {}).get("content"))


def debuglink(data):
    """(file name, CRC) the .gnu_debuglink section of a PE binary names, or None."""
    if data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3c)[0]
    (sections,) = struct.unpack_from("<H", data, pe + 6)
    symbols, count, optional = struct.unpack_from("<IIH", data, pe + 12)
    strings = symbols + count * 18
    for at in range(pe + 24 + optional, pe + 24 + optional + 40 * sections, 40):
        name = data[at:at + 8].rstrip(b"\0")
        if name.startswith(b"/"):
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)]
        if name == b".gnu_debuglink":
            size, _, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
            content = data[raw:raw + min(size or raw_size, raw_size)]
            file_name = content[:content.index(b"\0")].decode()
            crc_at = (len(file_name) + 1 + 3) & ~3
            return file_name, struct.unpack_from("<I", content, crc_at)[0]
    return None


def compile_units(objdump, path):
    """[(name, folder)] of the compile units of a debug file."""
    output = subprocess.run([objdump, "--dwarf=info", "--dwarf-depth=1", path], capture_output=True, text=True,
                            env=dict(os.environ, LC_ALL="C"), check=True).stdout
    units = []
    for unit in output.split("Compilation Unit @")[1:]:
        found = dict(re.findall(r"DW_AT_(name|comp_dir)\s*:\s*(?:\([^)]*\):\s*)?(.*?)\s*$", unit, re.M))
        if "name" in found:
            units.append((found["name"], found.get("comp_dir", "")))
    return units


def main(argv):
    args, debug, objdump = [], None, None
    chosen = {"--bill": None, "--notices": None, "--module": None}
    words_iter = iter(argv)
    for word in words_iter:
        if word == "--debug":
            debug = next(words_iter, None)
        elif word == "--objdump":
            objdump = next(words_iter, None)
        elif word in chosen:
            chosen[word] = next(words_iter, None)
        else:
            args.append(word)
    if any(chosen.values()) and not all(chosen.values()):
        print(__doc__.strip().splitlines()[2])
        return 2
    if len(args) not in (2, 3) or (debug is None and "--debug" in argv):
        print(__doc__.strip().splitlines()[2])
        return 2
    path, version = args[0], args[1]
    if len(args) == 3:
        folder = args[2]
    else:
        try:
            root = subprocess.run(["npm", "root", "-g"], capture_output=True, text=True).stdout.strip()
        except FileNotFoundError:
            print("FAIL: npm is not installed, so the CycloneDX schema package %s cannot be found: "
                  "scripts/deps installs both" % PACKAGE)
            return 1
        folder = os.path.join(root, PACKAGE, "res", "schema")
    if not os.path.isdir(folder):
        print("FAIL: no CycloneDX schema folder %s: install %s (scripts/deps)" % (folder, PACKAGE))
        return 1
    problems = []
    with zipfile.ZipFile(path) as archive:
        files = {name: archive.read(name) for name in archive.namelist()}
    boms = [name for name in files if name.endswith(".cdx.json") and "/" not in name]
    notices_names = [name for name in files if re.match(r"^THIRD-PARTY-NOTICES.*\.txt$", name)]
    if chosen["--bill"]:
        boms = [name for name in boms if name == chosen["--bill"]]
        notices_names = [name for name in files if name == chosen["--notices"]]
    if len(boms) != 1 or len(notices_names) != 1:
        print("FAIL: %s holds %s: not one bill of materials and one notices file" % (path, boms + notices_names))
        return 1
    bom_name, notices_name = boms[0], notices_names[0]
    expected_module = chosen["--module"] or bom_name[:-len(".cdx.json")]
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
    packages = []
    for component in bom.get("components", []):
        if component.get("type") == "file":
            hashes = {h["alg"]: h["content"] for h in component.get("hashes", [])}
            listed[component["name"]] = hashes.get("SHA-256")
        else:
            packages.append(component)
    for name in sorted(set(files) | set(listed)):
        if name not in listed:
            problems.append("%s is in the ZIP but not in the bill of materials" % name)
        elif name not in files:
            problems.append("%s is in the bill of materials but not in the ZIP" % name)
        elif listed[name] != hashlib.sha256(files[name]).hexdigest():
            problems.append("%s: SHA-256 %s in the bill, %s in the ZIP"
                            % (name, listed[name], hashlib.sha256(files[name]).hexdigest()))
    notices = files.get(notices_name, b"").decode("utf-8", "replace").replace("\r\n", "\n")
    if not packages:
        problems.append("names no linked component")

    # Every component once: one bom-ref each, one package URL each.
    everything, stack = [module], list(bom.get("components", []))
    while stack:
        component = stack.pop()
        everything.append(component)
        stack += component.get("components", [])
    for what in ("bom-ref", "purl"):
        for value, count in sorted(collections.Counter(c[what] for c in everything if what in c).items()):
            if count > 1:
                problems.append("%d components have the %s %s" % (count, what, value))

    # Each package: its URL, its parts, their licences among its own, named
    # in the notices with the package's copyright file.
    notices_blocks = notices_parts(notices)
    copyrights = {}
    depends = {d.get("ref"): set(d.get("dependsOn", [])) for d in bom.get("dependencies", [])}
    parts_of = {}  # package -> [its parts in the bill (itself where it holds none)]
    for component in packages:
        purl = component.get("purl", "")
        match = re.match(r"^pkg:deb/debian/([^@?]+)@([^?]+)\?", purl)
        if not match:
            problems.append("%s: no Debian package URL: %r" % (component.get("name"), purl))
            continue
        name = urllib.parse.unquote(match.group(1))
        if name != component.get("name") or urllib.parse.unquote(match.group(2)) != component.get("version"):
            problems.append("%s %s: its package URL %s names another package or version"
                            % (component.get("name"), component.get("version"), purl))
        parts_of.setdefault(name, []).extend(component.get("components") or [component])
        if name in copyrights:
            continue
        text, dep5 = copyrights[name] = dep5_of(name)
        if text is None:
            problems.append("%s: no copyright file /usr/share/doc/%s/copyright" % (name, name))
        elif text.rstrip("\n") not in notices:
            problems.append("%s does not hold the copyright file of %s whole" % (notices_name, name))
        if "Debian package %s %s " % (name, component.get("version")) not in notices:
            problems.append("%s does not name the Debian package %s %s"
                            % (notices_name, name, component.get("version")))
        own = {licence_key(c) for c in component.get("licenses", [])}
        if not component.get("version") or not own:
            problems.append("%s has no version or no licence" % name)
        if not component.get("components"):
            problems.append("%s holds no part" % name)
        for part in component.get("components", []):
            licences = {licence_key(c) for c in part.get("licenses", [])}
            if not part.get("version") or not licences:
                problems.append("%s has no version or no licence" % part.get("name"))
            if not licences <= own:
                problems.append("%s has licences its package %s does not: %s" % (
                    part.get("name"), name, sorted(k[1] for k in licences - own)))
            blocks = [b for b in notices_blocks if b["part"] == part.get("name") and b.get("package") == name]
            if not blocks:
                problems.append("%s of %s is not named in %s" % (part.get("name"), name, notices_name))
                continue
            for (key, short), use in sorted(blocks[0]["licences"].items()):
                if dep5 is None:
                    if not any(k[1] == key for k in licences):
                        problems.append("%s: the notices give %s, the bill does not" % (part.get("name"), key))
                    continue
                texts = dep5.texts.get(short.lower(), set())
                if not any(k[1] == key and (not texts or k[2] in texts) for k in licences):
                    problems.append("%s: the bill does not give it %s (%s) with the copyright file's text"
                                    % (part.get("name"), key, short))
                for source in sorted(use["sources"]):
                    if short.lower() not in [n.lower() for n in dep5.licences(source)]:
                        problems.append("%s: the notices list %s under %s, the copyright file gives it %s"
                                        % (part.get("name"), source, short, " and ".join(dep5.licences(source))))
            listing = {(source, short.lower()) for (_, short), use in blocks[0]["licences"].items()
                       for source in use["sources"]}
            for source in sorted({source for source, _ in listing}):
                for short in (dep5.licences(source) if dep5 else []):
                    if (source, short.lower()) not in listing:
                        problems.append("%s: the notices list %s without its licence %s"
                                        % (part.get("name"), source, short))
            if dep5 is None and not any("not machine-readable" in line for line in blocks[0]["basis"]):
                problems.append("%s: the notices do not say the copyright file of %s is not machine-readable"
                                % (part.get("name"), name))

    # The debug information of each binary: every source file of a package
    # the linker took is listed with its licences for a part the binary
    # depends on.
    if debug is not None:
        objdump = objdump or next((p for p in ("x86_64-w64-mingw32-objdump", "i686-w64-mingw32-objdump")
                                   if shutil.which(p)), "objdump")
        dep5s = {name: dep5 for name, (_, dep5) in copyrights.items() if dep5}
        refs = {(package, part.get("name")): part.get("bom-ref") for package, parts in parts_of.items()
                for part in parts}

        def covered(package, short, binary_ref):
            """Whether a part of package the binary depends on has the licence
            the copyright file names short: by that name, as the SPDX licence
            it is (an id, or a term of an expression), or by its text."""
            texts = dep5s[package].texts.get(short.lower(), set())
            names = {short.lower(), SPDX_OF.get(short.lower(), short).lower()}
            return any(key.lower() in names or (kind == "expression" and names & set(
                           re.findall(r"[\w.+-]+", key.lower()))) or (text and text in texts)
                       for part in parts_of[package] if part.get("bom-ref") in depends.get(binary_ref, set())
                       for kind, key, text in map(licence_key, part.get("licenses", [])))
        unplaced = " ".join(note for b in notices_blocks for use in b["licences"].values() for note in use["notes"]
                            if "without its folder" in note)
        linked = collections.defaultdict(set)  # (package, source) -> binaries whose debug information names it
        for entry in sorted(n for n in listed if re.search(r"\.(exe|dll)$", n) and n in files):
            binary = posixpath.basename(entry)
            debug_file = os.path.join(debug, binary + ".debug")
            link = debuglink(files[entry])
            if not os.path.isfile(debug_file) or link is None:
                problems.append("%s: no debug file %s, or the binary names none" % (entry, debug_file))
                continue
            with open(debug_file, "rb") as f:
                crc = zlib.crc32(f.read())
            if link != (binary + ".debug", crc):
                problems.append("%s names the debug file %s (CRC %08x), not %s (CRC %08x)"
                                % (entry, link[0], link[1], debug_file, crc))
                continue
            for name, comp_dir in compile_units(objdump, debug_file):
                full = posixpath.normpath(posixpath.join(comp_dir, name))
                if full.startswith("/imdaemon/"):
                    continue
                placed = {package: dep5.path(name, comp_dir) for package, dep5 in dep5s.items()}
                placed = {package: source for package, source in placed.items() if source}
                if not placed:
                    if not re.search(r"\b%s\b" % re.escape(name), unplaced):
                        problems.append("%s links %s, which neither a machine-readable copyright file of the "
                                        "bill covers nor the notices name" % (binary, full))
                    continue
                given = []
                for package, source in sorted(placed.items()):
                    linked[(package, source)].add(binary)
                    for short in dep5s[package].licences(source):
                        if not covered(package, short, "file:" + entry):
                            problems.append("%s links %s of %s, under %s: the bill gives no part of %s the binary "
                                            "depends on that licence" % (binary, source, package, short, package))
                    shorts = [s.lower() for s in dep5s[package].licences(source)]
                    for block in notices_blocks:
                        if block.get("package") != package or \
                                refs.get((package, block["part"])) not in depends.get("file:" + entry, set()):
                            continue
                        listing = {s.lower() for (_, s), use in block["licences"].items()
                                   if source in use["sources"] and binary in use["binaries"]}
                        if shorts and set(shorts) <= listing:
                            given.append(source)
                if not given:
                    problems.append("%s links %s (%s): no part the binary depends on lists it with its licences "
                                    "in %s" % (binary, full, "; ".join("%s of %s: %s" % (
                                        source, package, " and ".join(dep5s[package].licences(source)))
                                        for package, source in sorted(placed.items())), notices_name))

        for block in notices_blocks:
            for (key, _), use in sorted(block["licences"].items()):
                for source in sorted(use["sources"]):
                    if block.get("package") in dep5s and not linked[(block["package"], source)] & use["binaries"]:
                        problems.append("%s lists %s under %s for %s, which the debug information of none of them "
                                        "names" % (notices_name, source, key, ", ".join(sorted(use["binaries"]))))

    print("%s: %s: %d files, components %s" % (path, bom_name, len(listed), ", ".join(
        "%s %s (%s)" % (c.get("name"), c.get("version"), ", ".join(
            str(licence_key(l)[1]) for l in c.get("licenses", []))) for c in packages)))
    for problem in problems:
        print("FAIL: %s" % problem)
    print("FAIL" if problems else "PASS")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
