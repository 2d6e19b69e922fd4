#!/usr/bin/env python3
"""The third-party notices and the bill of materials of a release, from the link.

    third-party.py [--module NAME] --notices OUT --bom OUT --version V --revision R --epoch E
                   [--libdir DIR]... [--objdump PROGRAM] --map MAP=BINARY[=ENTRY]... [--file ENTRY=FILE]...

Each MAP is the linker map of one shipped BINARY (GNU ld's -Map, or lld's),
written in the folder the linker ran in: it names every object the linker
put into the binary. ENTRY is the shipped file's path in its ZIP (the
binary's file name unless given); NAME the module the files make up
(imdaemon unless given). Objects from the sources' or the build's folder (the
current one) are our code; every other one is looked up with dpkg -S
(an lld map names an archive member without its archive: it is found among
the archives of the --libdir folders) and belongs to a part (libgcc,
winpthreads, ...) of the Debian package that holds it.

The licences of a part are those of the code the linker took from it. Where
the package's copyright file is machine-readable (DEP-5), each object is
traced to its source file by the compile unit of its debug information (read
with PROGRAM, a mingw-w64 objdump unless given) and that file's licence is
the one of the copyright file's last Files paragraph that matches it; an
object whose debug information names no source file with its folder gets the
licence of the package's files as a whole (Files: *), and the notices say
which objects and why. Where the copyright file is not machine-readable, the
part keeps the licence GCC_LIBRARIES (or WINPTHREADS, MINGW_RUNTIME) gives
it, and the notices say whether the copyright file's own words confirm it.

The notices file names each part with its licences and the binaries that
hold it, its Debian package and version, and under each licence the source
files (and the objects without one) it governs; then the full text of each
package's copyright file. The bill of materials (CycloneDX 1.5, JSON) names
the module with its version and source revision, each shipped file (the
binaries, every NAME=FILE, and the notices) with its SHA-256, and each Debian
package once, with its package URL, version and licences, holding its parts
as components with their own licences: an SPDX licence by its id, any other
by its name, both with the text the copyright file gives. Both come out the
same from the same link, and are dated E (seconds since 1970), never the
clock. A part no longer linked is no longer named.
"""
import collections
import functools
import hashlib
import json
import os
import posixpath
import re
import shutil
import subprocess
import sys
import textwrap
import time
import urllib.parse

GCC_RUNTIME = "GPL-3.0-or-later WITH GCC-exception-3.1"
# (archive or object name, part, the licence of the part where the package's
# copyright file is not machine-readable, the folder of the part's sources
# that copyright file names). Of Debian's mingw-w64 packages, winpthreads and
# else the mingw-w64 runtime (start-up code, libmingwex, the import libraries
# of the system DLLs); of its gcc packages, the libraries of GCC_LIBRARIES.
WINPTHREADS = (re.compile(r"^lib(win)?pthread\.a$"), "winpthreads", "MIT AND BSD-3-Clause", None)
MINGW_RUNTIME = ("mingw-w64 runtime", "ZPL-2.1", None)
GCC_LIBRARIES = [
    (re.compile(r"^lib(stdc\+\+|supc\+\+)\.a$"), "libstdc++", GCC_RUNTIME, "libstdc++-v3"),
    (re.compile(r"^libssp(_nonshared)?\.a$"), "libssp", GCC_RUNTIME, "libssp"),
    (re.compile(r"^(libgcc(_eh)?\.a|crt(begin|end)\.o)$"), "libgcc", GCC_RUNTIME, "libgcc"),
]

# DEP-5 short licence names that are SPDX licences, compared without case
# (the copyright file's text of the licence goes into the bill beside the id).
# A name not here goes into the bill as a named licence.
SPDX = {name.lower(): spdx for name, spdx in [
    ("Apache-2.0", "Apache-2.0"), ("BSD-2-clause", "BSD-2-Clause"), ("BSD-3-clause", "BSD-3-Clause"),
    ("BSD-4-clause", "BSD-4-Clause"), ("BSL-1.0", "BSL-1.0"), ("CC0-1.0", "CC0-1.0"), ("Expat", "MIT"),
    ("GPL-2", "GPL-2.0-only"), ("GPL-2+", "GPL-2.0-or-later"), ("GPL-3", "GPL-3.0-only"),
    ("GPL-3+", "GPL-3.0-or-later"), ("ISC", "ISC"), ("LGPL-2", "LGPL-2.0-only"), ("LGPL-2+", "LGPL-2.0-or-later"),
    ("LGPL-2.1", "LGPL-2.1-only"), ("LGPL-2.1+", "LGPL-2.1-or-later"), ("LGPL-3", "LGPL-3.0-only"),
    ("LGPL-3+", "LGPL-3.0-or-later"), ("MPL-2.0", "MPL-2.0"), ("Zlib", "Zlib"), ("ZPL-2.1", "ZPL-2.1")]}

# One licence of a part: kind "id" (an SPDX licence, key its id), "name" (a
# licence SPDX does not define, key its name) or "expression" (an SPDX
# expression given without a machine-readable copyright file); text as the
# copyright file gives it, or None; short the copyright file's name for it.
Licence = collections.namedtuple("Licence", "kind key text short")


def licence_order(licence):
    return licence.key.lower(), licence.key, licence.text or "", licence.short or ""


def pattern_regex(pattern):
    """The regular expression of a DEP-5 Files pattern: * matches any text,
    / included, ? one character, a backslash takes the next one literally;
    the pattern matches the whole path from the top of the source tree."""
    out, at = [], 0
    while at < len(pattern):
        char = pattern[at]
        if char == "\\" and at + 1 < len(pattern):
            out.append(re.escape(pattern[at + 1]))
            at += 2
            continue
        out.append(".*" if char == "*" else "." if char == "?" else re.escape(char))
        at += 1
    return re.compile("".join(out), re.S)


class Copyright:
    """A machine-readable (DEP-5) Debian copyright file: its Files paragraphs
    in order, the texts of its stand-alone License paragraphs, and the top
    folders its patterns name (which find a source path's start in a longer
    path)."""

    def __init__(self, text):
        paragraphs = []
        for block in re.split(r"\n(?:[ \t]*\n)+", text.replace("\r\n", "\n").strip("\n")):
            fields, last = {}, None
            for line in block.split("\n"):
                if line.startswith("#"):
                    continue
                if line[:1] in (" ", "\t") and last:
                    fields[last].append(line)
                elif ":" in line:
                    last, value = line.split(":", 1)
                    last = last.strip().lower()
                    fields[last] = [value.strip()]
            paragraphs.append(fields)
        if not paragraphs or "format" not in paragraphs[0]:
            raise ValueError("not a machine-readable copyright file (no Format field)")
        self.files = []  # [(pattern regexes, patterns, licence expression, text or None)]
        self.texts = {}  # short name, lower case -> text
        self.anchors = set()
        for fields in paragraphs[1:]:
            if "license" not in fields:
                continue
            expression, text = fields["license"][0], self.text(fields["license"][1:])
            if "files" in fields:
                patterns = " ".join(fields["files"]).split()
                self.files.append(([pattern_regex(p) for p in patterns], patterns, expression, text))
                for pattern in patterns:
                    top = pattern.split("/", 1)[0]
                    if "/" in pattern and not re.search(r"[*?\\]", top):
                        self.anchors.add(top)
            elif text is not None:
                self.texts.setdefault(expression.lower(), text)

    @staticmethod
    def text(lines):
        """The text of a field's continuation lines (" ." an empty line)."""
        if not lines:
            return None
        text = "\n".join("" if line.strip() == "." else line[1:].rstrip() for line in lines)
        return text.strip("\n") or None

    def paragraph(self, path):
        """The last Files paragraph that matches path (relative to the top of
        the source tree), or None."""
        found = None
        for paragraph in self.files:
            if any(regex.fullmatch(path) for regex in paragraph[0]):
                found = paragraph
        return found

    def whole(self):
        """The Files paragraph of the package's files as a whole (*), or None."""
        for paragraph in self.files:
            if "*" in paragraph[1]:
                return paragraph
        return None

    def source_path(self, name, comp_dir):
        """The path, from the top of the source tree, of a compile unit's
        source file (its name and folder as its debug information gives
        them): from the first folder that one of the patterns starts with, or
        None when the path holds none (a file named without its folder)."""
        parts = posixpath.normpath(posixpath.join(comp_dir or "", name)).split("/")
        for at, part in enumerate(parts[:-1]):
            if part in self.anchors:
                return "/".join(parts[at:])
        return None

    def licences(self, paragraph):
        """The Licences of a Files paragraph: its expression split at "and"
        (each licence applies); a choice ("or") stays one named licence."""
        expression, text = paragraph[2], paragraph[3]
        if re.search(r"\s+or\s+", expression, re.I):
            alternatives = re.split(r"\s*,?\s+(?:or|and)\s+", expression, flags=re.I)
            texts = [self.texts.get(name.lower()) for name in alternatives]
            return {Licence("name", expression, text or "\n\n".join(t for t in texts if t) or None, expression)}
        names = re.split(r"\s*,?\s+and\s+", expression, flags=re.I)
        found = set()
        for name in names:
            own = text if len(names) == 1 else None
            licence_text = own or self.texts.get(name.lower()) or text
            spdx = SPDX.get(name.lower())
            found.add(Licence("id", spdx, licence_text, name) if spdx else Licence("name", name, licence_text, name))
        return found


@functools.lru_cache(maxsize=None)
def copyright_of(path):
    """The Copyright of a copyright file, or None where it is not machine-readable."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    try:
        return Copyright(text)
    except ValueError:
        return None


@functools.lru_cache(maxsize=None)
def copyright_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def runtime_exception_libraries(text):
    """The libraries a gcc copyright file (not machine-readable) says are
    licensed under the GPL, version 3 or later, with the GCC Runtime Library
    Exception 3.1, which it must quote: the first word of each item of its
    list."""
    listed = re.search(r"The following runtime libraries are licensed under the terms of the\s+GNU General "
                       r"Public License \(v3 or later\) with version 3\.1 of the GCC\s+Runtime Library "
                       r"Exception[^\n]*\n((?:[ \t]*\n)*(?:[ \t]+\S[^\n]*\n)+)", text)
    if not listed or not re.search(r"GCC RUNTIME LIBRARY EXCEPTION\s+Version 3\.1,", text):
        return set()
    return set(re.findall(r"^[ \t]+-[ \t]+(\S+)", listed.group(1), re.M))


def objects_of_map(path):
    """{archive(member) or object path: {symbol}} of a GNU ld or lld map: the
    objects the linker put into the binary, each with the symbols the map
    lists in its input sections (which tell two objects of one name apart)."""
    text = open(path, encoding="utf-8", errors="replace").read()
    found = {}
    if text.startswith("Address ") and " Out " in text.splitlines()[0]:  # lld
        # An input section starts in the column headed "In", a symbol further
        # right (a demangled name may hold ":(" too).
        column = text.splitlines()[0].index(" In ") + 1
        current = None
        for line in text.splitlines()[1:]:
            match = re.match(r"^(\S.*?):\(", line[column:])
            if line[column - 1:column] == " " and match and match.group(1) != "<internal>":
                current = found.setdefault(match.group(1), set())
            elif current is not None and line[column:column + 1] == " " and len(line[:column].split()) == 3 \
                    and line[column:].strip():
                current.add(line[column:].strip())
            else:
                current = None
    else:  # GNU ld: the archive members it took, and the objects it loaded
        included = text.split("Archive member included to satisfy reference by file (symbol)", 1)
        if len(included) == 2:
            for line in included[1].split("\nMemory Configuration", 1)[0].splitlines():
                match = re.match(r"^(\S+\.a\([^)]+\))", line)
                if match:
                    found.setdefault(match.group(1), set())
        for loaded in re.findall(r"^LOAD (\S+\.o(?:bj)?)$", text, re.M):
            found.setdefault(loaded, set())
        current = None
        for line in text.split("\nLinker script and memory map", 1)[-1].splitlines():
            section = re.match(r"^ (?:\S+)?\s+0x[0-9a-f]+\s+0x[0-9a-f]+\s+(\S+)$", line)
            symbol = re.match(r"^\s+0x[0-9a-f]+\s+([^\s=]+)$", line)
            if section:
                current = found.get(section.group(1))
            elif symbol and current is not None:
                current.add(symbol.group(1))
            else:
                current = None
    return found


def archive_table(path):
    """([(header offset, member name)], {symbol: header offset of the member
    that defines it}) of a Unix ar archive (GNU long names resolved, the
    symbol index of GNU ar, 32 or 64 bit)."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"!<arch>\n"):
        return [], {}
    members, symbols, long_names, at = [], {}, b"", 8
    while at + 60 <= len(data):
        name = data[at:at + 16].decode("latin-1").rstrip()
        size = int(data[at + 48:at + 58].decode().strip())
        body = data[at + 60:at + 60 + size]
        if name in ("/", "/SYM64/") and not symbols:
            width = 8 if name == "/SYM64/" else 4
            count = int.from_bytes(body[:width], "big")
            offsets = [int.from_bytes(body[width * (i + 1):width * (i + 2)], "big") for i in range(count)]
            for offset, symbol in zip(offsets, body[width * (count + 1):].split(b"\0")):
                symbols.setdefault(symbol.decode("latin-1"), offset)
        elif name == "//":
            long_names = body
        elif name.startswith("/") and name[1:].isdigit():
            start = int(name[1:])
            members.append((at, long_names[start:long_names.index(b"/\n", start)].decode("latin-1")))
        elif name not in ("/", "/SYM64/", "__.SYMDEF"):
            members.append((at, name.rstrip("/")))
        at += 60 + size + (size & 1)
    return members, symbols


def archive_members(path):
    """Member names of a Unix ar archive."""
    return [name for _, name in archive_table(path)[0]]


@functools.lru_cache(maxsize=None)
def archive_index(path):
    """archive_table of an archive the link took from, read once."""
    return archive_table(path)


OBJDUMP = []


@functools.lru_cache(maxsize=None)
def compile_units(path):
    """{member name (the path of an object that is no archive): [[(name,
    folder) of each compile unit] of each object of that name]} from the
    debug information of an archive or object; an object without debug
    information has no compile unit."""
    try:
        output = subprocess.run(OBJDUMP + ["--dwarf=info", "--dwarf-depth=1", path], capture_output=True, text=True,
                                env=dict(os.environ, LC_ALL="C"))
    except OSError as error:
        raise SystemExit("third-party.py: cannot run %s: %s" % (OBJDUMP[0], error))
    if output.returncode != 0 or "file format not recognized" in output.stderr:
        raise SystemExit("third-party.py: %s cannot read %s: %s" % (OBJDUMP[0], path, output.stderr.strip()))
    found, units, unit, top = {}, None, None, False
    for line in output.stdout.splitlines():
        header = re.match(r"^(\S.*):\s+file format \S+$", line)
        if header:
            units = []
            found.setdefault(header.group(1), []).append(units)
            unit = None
        elif units is not None and re.match(r"^\s*<0><[0-9a-f]+>: Abbrev Number: \d+ \(DW_TAG_compile_unit\)", line):
            unit, top = {}, True
            units.append(unit)
        elif re.match(r"^\s*<\d+><[0-9a-f]+>:", line) or "Compilation Unit @" in line:
            top = False
        elif unit is not None and top:
            attribute = re.match(r"^\s*<[0-9a-f]+>\s+DW_AT_(name|comp_dir)\s*:\s*"
                                 r"(?:\((?:indirect|indexed|alt)[^)]*\):\s*)?(.*?)\s*$", line)
            if attribute:
                unit[attribute.group(1)] = attribute.group(2)
    return {member: [[(u["name"], u.get("comp_dir", "")) for u in units if "name" in u] for units in objects]
            for member, objects in found.items()}


def names_of(symbols):
    """The names symbols a map gives may have in a symbol index: as they
    are, or with the underscore that x86 (32 bit) names start with, which
    GNU ld's map leaves out."""
    return set(symbols) | {"_" + symbol for symbol in symbols}


def objects_of(archive, member, symbols):
    """[[(name, folder) of each compile unit] of each object] that an
    archive's member name (None: the object file itself) stands for: of
    several objects of that name, the ones that define one of the symbols
    the map gives them where the archive's symbol index says so."""
    units = compile_units(archive)
    if member is None:
        return [obj for only in sorted(units) for obj in units[only]] or [[]]
    if member not in units:
        raise SystemExit("third-party.py: %s reads no member %s in %s" % (OBJDUMP[0], member, archive))
    objects = units[member]
    if len(objects) > 1:
        members, index = archive_index(archive)
        offsets = [offset for offset, name in members if name == member]
        defining = {index[name] for name in names_of(symbols) if name in index}
        chosen = [obj for offset, obj in zip(offsets, objects) if offset in defining]
        if len(offsets) == len(objects) and chosen:
            return chosen
    return objects


def uses_of_object(package, fallback, units, label):
    """frozenset{(source, licences, why)} of one object: each source file its
    compile units name with that file's licences (why None); or, for a unit
    that names no file the copyright file covers, or an object without
    debug information, no source (None) and the licences of the package's
    files as a whole, with why."""
    copyright_file = package_facts(package)[2]
    copyright = copyright_of(copyright_file)
    if copyright is None:
        licences = frozenset({Licence("expression", fallback, None, None)})
        return frozenset({(name, licences, None) for name, _ in units} or {(None, licences, "no debug information")})
    uses, missing = set(), []
    for name, comp_dir in units:
        path = copyright.source_path(name, comp_dir)
        paragraph = copyright.paragraph(path) if path else None
        if paragraph is None:
            missing.append(name)
        else:
            uses.add((path, frozenset(copyright.licences(paragraph)), None))
    if missing or not units:
        whole = copyright.whole()
        if whole is None:
            raise SystemExit("third-party.py: %s: %s names no source file the copyright file %s covers, which has "
                             "no Files: * paragraph" % (label, ", ".join(sorted(missing)) or "no debug information",
                                                       copyright_file))
        why = ("debug information that names its source without its folder (%s)" % ", ".join(sorted(missing))
               if missing else "no debug information")
        uses.add((None, frozenset(copyright.licences(whole)), why))
    return frozenset(uses)


def resolve(objects, base, own_dirs, libdirs):
    """[(package, part, object, uses, ambiguity)] of the third-party objects
    (paths relative to base, where the linker ran): the object named by its
    archive's file name and member, its uses as uses_of_object gives them.
    objects maps each to the symbols the linker's map lists for it. lld
    names most objects by their file name alone: an archive member of the
    libdirs, or one of the build's objects; a member that several archives
    hold must belong to one part in all of them, and is taken from those
    whose symbol index names its symbols. A member name that still stands
    for several objects of different sources (two of one archive, or members
    of two archives) gets the licences of them all, and ambiguity says so."""
    index = {}
    for folder in libdirs:
        for name in sorted(os.listdir(folder)):
            if name.endswith(".a"):
                for member in archive_members(os.path.join(folder, name)):
                    index.setdefault(member, set()).add(os.path.join(folder, name))
    own_names = set()
    if any("/" not in entry for entry in objects):
        for top, folders, names in os.walk(os.getcwd()):
            folders[:] = [f for f in folders if f != "googletest"]
            for name in names:
                own_names.add(name)
                if name.endswith(".a"):
                    own_names.update(archive_members(os.path.join(top, name)))
    result = []
    for entry in sorted(objects):
        match = re.match(r"^(.+\.a)\((.+)\)$", entry)
        if match:
            paths, member = {match.group(1)}, match.group(2)
        elif "/" not in entry:  # lld: a file name alone
            paths, member = index.get(entry, set()), entry
            if entry in own_names:
                if paths:
                    raise SystemExit("third-party.py: %s is both the build's and in %s" % (entry, " ".join(paths)))
                continue
        else:
            paths, member = {entry}, None
        paths = {os.path.realpath(os.path.join(base, path)) for path in paths}
        if any(path.startswith(folder + os.sep) for path in paths for folder in own_dirs):
            continue
        found = {(package_of(path),) + component_of(path, package_of(path))[:1] for path in paths}
        if len(found) != 1:
            raise SystemExit("third-party.py: %s is in %s: no one component" % (entry, " ".join(sorted(paths)) or
                                                                              "no archive of " + " ".join(libdirs)))
        (package, part), = found
        label = " or ".join(sorted({os.path.basename(p) for p in paths}))
        label_member = "%s(%s)" % (label, member) if member else label
        if member is not None and len(paths) > 1:  # lld: the archives whose symbol index names its symbols
            defining = {path for path in paths if set(archive_index(path)[1]) & names_of(objects[entry])}
            paths = defining or paths
            label = " or ".join(sorted({os.path.basename(p) for p in paths}))
            label_member = "%s(%s)" % (label, member)
        candidates = set()
        for path in sorted(paths):
            fallback = component_of(path, package)[1]
            for units in objects_of(path, member, objects[entry]):
                candidates.add(uses_of_object(package, fallback, units, label_member))
        ambiguity = None
        if len(candidates) > 1:
            ambiguity = "%s stands for %d objects of different sources (%s): the licences of them all are given" % (
                label_member, len(candidates), "; ".join(sorted(
                    ", ".join(sorted(source or why for source, _, why in uses)) for uses in candidates)))
        result.append((package, part, (label, member or label), frozenset().union(*candidates), ambiguity))
    return result


PACKAGES = {}


def package_of(path):
    if path in PACKAGES:
        return PACKAGES[path]
    output = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True)
    if output.returncode != 0:
        raise SystemExit("third-party.py: no Debian package holds %s: %s" % (path, output.stderr.strip()))
    PACKAGES[path] = output.stdout.split(":", 1)[0].strip()
    return PACKAGES[path]


@functools.lru_cache(maxsize=None)
def package_facts(package):
    """(version, architecture, copyright file) of an installed package."""
    version, arch = subprocess.run(["dpkg-query", "-W", "-f=${Version} ${Architecture}", package],
                                   capture_output=True, text=True, check=True).stdout.split()
    return version, arch, "/usr/share/doc/%s/copyright" % package


def component_of(path, package):
    """(part, licence where the copyright file is not machine-readable, the
    folder of the part's sources that copyright file names) of an archive."""
    name = os.path.basename(path)
    if package.startswith("mingw-w64-"):
        return WINPTHREADS[1:] if WINPTHREADS[0].match(name) else MINGW_RUNTIME
    for pattern, *component in GCC_LIBRARIES:
        if pattern.match(name):
            return tuple(component)
    raise SystemExit("third-party.py: %s (%s) belongs to no component: add it to GCC_LIBRARIES with its licence"
                     % (path, package))


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def bom_licences(licences):
    """A CycloneDX licence choice: one SPDX expression where the licences are
    expressions only, else a licence object each (an expression then by its
    text as a name, since the two kinds cannot be mixed)."""
    ordered = sorted(licences, key=licence_order)
    if all(l.kind == "expression" for l in ordered):
        keys = sorted({l.key for l in ordered})
        return [{"expression": keys[0] if len(keys) == 1 else " AND ".join("(%s)" % k for k in keys)}]
    chosen = []
    for licence in ordered:
        entry = {"id" if licence.kind == "id" else "name": licence.key}
        if licence.text:
            entry["text"] = {"content": licence.text}
        if {"license": entry} not in chosen:
            chosen.append({"license": entry})
    return chosen


def wrap(words, indent):
    """Lines of 78 columns at most (unless a word is longer) of words."""
    return textwrap.wrap(" ".join(words), 78, initial_indent=indent, subsequent_indent=indent,
                         break_long_words=False, break_on_hyphens=False)


def main(argv):
    options = {"--notices": None, "--bom": None, "--version": None, "--revision": None, "--epoch": None}
    module_name = "imdaemon"
    libdirs, maps, files, unknown, objdump = [], [], [], [], None
    args = iter(argv)
    for word in args:
        if word in options:
            options[word] = next(args)
        elif word == "--module":
            module_name = next(args)
        elif word == "--libdir":
            libdirs.append(next(args))
        elif word == "--objdump":
            objdump = next(args)
        elif word == "--map":
            parts = next(args).split("=", 2)
            maps.append((parts[0], parts[1], parts[2] if len(parts) == 3 else os.path.basename(parts[1])))
        elif word == "--file":
            files.append(tuple(next(args).split("=", 1)))
        else:
            unknown.append(word)
    if None in options.values() or not maps or unknown:
        print(__doc__.strip().splitlines()[2])
        return 2
    objdump = objdump or next((p for p in ("x86_64-w64-mingw32-objdump", "i686-w64-mingw32-objdump", "objdump")
                               if shutil.which(p)), None)
    if not objdump:
        raise SystemExit("third-party.py: no objdump to read the debug information of the linked objects with")
    OBJDUMP[:] = [objdump]
    own_dirs = [os.path.realpath(d) for d in (os.path.dirname(os.path.abspath(__file__)) + "/..",
                                               os.getcwd())]

    # (package, part) -> {"binaries", "licences": {Licence: {"binaries", "sources",
    # "without": {(archive, why): {member}}}}, "ambiguities"}
    parts = {}
    copyrights = {}
    for map_path, binary, _ in maps:
        binary = os.path.basename(binary)
        for package, name, (archive, member), uses, ambiguity in resolve(
                objects_of_map(map_path), os.path.dirname(os.path.abspath(map_path)), own_dirs, libdirs):
            copyright_file = package_facts(package)[2]
            entry = parts.setdefault((package, name), {"binaries": set(), "licences": {}, "ambiguities": set()})
            entry["binaries"].add(binary)
            for source, licences, why in uses:
                for licence in licences:
                    use = entry["licences"].setdefault(licence, {"binaries": set(), "sources": set(), "without": {}})
                    use["binaries"].add(binary)
                    if source is None:
                        use["without"].setdefault((archive, why), set()).add(member)
                    else:
                        use["sources"].add(source)
            if ambiguity:
                entry["ambiguities"].add(ambiguity)
            copyrights.setdefault(os.path.realpath(copyright_file), set()).add(copyright_file)

    epoch = int(options["--epoch"])
    lines = ["Third-party notices for %s %s" % (module_name, options["--version"]), "",
             "The binaries of this release hold code of the following components, which the",
             "linker took from the build system's Debian packages. Each is named with its",
             "licences and the binaries that hold it, the package it came from and that",
             "package's version; then each licence with the binaries it applies to and the",
             "source files of the linked code it governs, as the debug information names",
             "them and the package's copyright file licenses them. The full copyright and",
             "licence text of each package follows.", ""]
    for package, name in sorted(parts, key=lambda key: (key[1], key[0])):
        entry = parts[(package, name)]
        version, arch, copyright_file = package_facts(package)
        licences = sorted(entry["licences"], key=licence_order)
        lines.append("%s (%s), in %s" % (name, ", ".join(l.key for l in licences),
                                         ", ".join(sorted(entry["binaries"]))))
        lines.append("    Debian package %s %s (%s), /usr/share/doc/%s/copyright" % (package, version, arch, package))
        if copyright_of(copyright_file) is None:
            folder = {part: folder for _, part, _, folder in GCC_LIBRARIES}.get(name)
            listed = folder in runtime_exception_libraries(copyright_text(copyright_file))
            if listed and all(l.key == GCC_RUNTIME for l in licences):
                basis = ("The package's copyright file is not machine-readable; it lists %s among the runtime "
                         "libraries licensed under the GNU General Public License, version 3 or later, with "
                         "version 3.1 of the GCC Runtime Library Exception." % folder)
            else:
                basis = ("The package's copyright file is not machine-readable and does not state the licence "
                         "of %s in words read here: the licence given is the one this release assumes for it, "
                         "unconfirmed." % name)
            lines.append("    " + basis)
        for licence in licences:
            use = entry["licences"][licence]
            named = licence.key if licence.short in (None, licence.key) else "%s (%s in the copyright file)" % (
                licence.key, licence.short)
            lines.append("    %s, in %s:" % (named, ", ".join(sorted(use["binaries"]))))
            if use["sources"]:
                lines += wrap(sorted(use["sources"]), "        ")
            whys = {}
            for (archive, why), members in use["without"].items():
                whys.setdefault(why, []).append("%s %d" % (archive, len(members)))
            for why, counts in sorted(whys.items()):
                whole = ("" if copyright_of(copyright_file) is None else
                         ", under the licence of the package's files as a whole (Files: *)")
                lines.append("        objects with %s%s: %s" % (why, whole, ", ".join(sorted(counts))))
        for ambiguity in sorted(entry["ambiguities"]):
            lines.append("    " + ambiguity)
    for text_file, names in sorted(copyrights.items()):  # one text may serve several packages
        lines += ["", "=" * 78] + sorted(names) + ["=" * 78, ""]
        lines.append(copyright_text(text_file).rstrip("\n"))
    for path in (options["--notices"], options["--bom"]):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(options["--notices"], "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")

    shipped = [(entry, binary) for _, binary, entry in maps] + files
    shipped.append((os.path.basename(options["--notices"]), options["--notices"]))
    module = {"type": "application", "bom-ref": module_name, "name": module_name, "version": options["--version"],
              "properties": [{"name": "imdaemon:source-revision", "value": options["--revision"]}]}
    bom_components = []
    for name, path in sorted(shipped):
        bom_components.append({"type": "file", "bom-ref": "file:" + name, "name": name,
                               "hashes": [{"alg": "SHA-256", "content": sha256(path)}]})
    # One component per Debian package, its parts inside: a part's bom-ref is
    # its name, or its name and package where two packages give a part of that name.
    part_names = collections.Counter(name for _, name in parts)
    part_ref = {key: "component:" + (key[1] if part_names[key[1]] == 1 else "%s@%s" % (key[1], key[0]))
                for key in parts}
    for package in sorted({package for package, _ in parts}):
        version, arch, _ = package_facts(package)
        purl = "pkg:deb/debian/%s@%s?arch=%s" % (urllib.parse.quote(package, safe=""),
                                                urllib.parse.quote(version, safe=""), arch)
        children, licences = [], set()
        for key in sorted(key for key in parts if key[0] == package):
            licences.update(parts[key]["licences"])
            children.append({"type": "library", "bom-ref": part_ref[key], "name": key[1], "version": version,
                             "licenses": bom_licences(parts[key]["licences"])})
        bom_components.append({"type": "library", "bom-ref": "package:" + package, "name": package,
                               "version": version, "purl": purl, "licenses": bom_licences(licences),
                               "properties": [{"name": "imdaemon:debian-package",
                                               "value": "%s %s" % (package, version)}],
                               "components": children})
    dependencies = [{"ref": module_name, "dependsOn": ["file:" + name for name, _ in sorted(shipped)]}]
    for binary, entry_name in sorted((os.path.basename(b), e) for _, b, e in maps):
        dependencies.append({"ref": "file:" + entry_name, "dependsOn": sorted(
            part_ref[key] for key, entry in parts.items() if binary in entry["binaries"])})
    bom = {"bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
           "metadata": {"timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch)), "component": module},
           "components": bom_components, "dependencies": dependencies}
    with open(options["--bom"], "w", encoding="utf-8") as f:
        json.dump(bom, f, indent=2, sort_keys=True)
        f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
