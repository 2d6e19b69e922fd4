#!/usr/bin/env python3
"""The third-party notices and the bill of materials of a release, from the link.

    third-party.py [--module NAME] --notices OUT --bom OUT --version V --revision R --epoch E
                   [--libdir DIR]... --map MAP=BINARY[=ENTRY]... [--file ENTRY=FILE]...

Each MAP is the linker map of one shipped BINARY (GNU ld's -Map, or lld's),
written in the folder the linker ran in: it names every object the linker
put into the binary. ENTRY is the shipped file's path in its ZIP (the
binary's file name unless given); NAME the module the files make up
(imdaemon unless given). Objects from the sources' or the build's folder (the
current one) are our code; every other one is looked up with dpkg -S
(an lld map names an archive member without its archive: it is found among
the archives of the --libdir folders) and belongs to a component of COMPONENTS.
The notices file names each component with its Debian package, version and
the binaries that hold it, followed by the full text of each package's
copyright file. The bill of materials (CycloneDX 1.5, JSON) names the module
with its version and source revision, each shipped file (the binaries, every
NAME=FILE, and the notices) with its SHA-256, and each component with its
version and licence. Both come out the same from the same link, and are
dated E (seconds since 1970), never the clock. A component no longer linked
is no longer named.
"""
import functools
import hashlib
import json
import os
import re
import subprocess
import sys
import time
import urllib.parse

GCC_RUNTIME = "GPL-3.0-or-later WITH GCC-exception-3.1"
# (component, licence): the SPDX licence expression of the code that goes
# into a binary from each kind of archive (the package's copyright file,
# quoted whole in the notices, holds every detail).
# Of Debian's mingw-w64 packages, winpthreads and else the mingw-w64 runtime
# (start-up code, libmingwex, the import libraries of the system DLLs); of
# its gcc packages, the libraries of COMPONENTS.
WINPTHREADS = (re.compile(r"^lib(win)?pthread\.a$"), "winpthreads", "MIT AND BSD-3-Clause")
MINGW_RUNTIME = ("mingw-w64 runtime", "ZPL-2.1")
COMPONENTS = [
    (re.compile(r"^lib(stdc\+\+|supc\+\+)\.a$"), "libstdc++", GCC_RUNTIME),
    (re.compile(r"^libssp(_nonshared)?\.a$"), "libssp", GCC_RUNTIME),
    (re.compile(r"^(libgcc(_eh)?\.a|crt(begin|end)\.o)$"), "libgcc", GCC_RUNTIME),
]


def objects_of_map(path):
    """[archive(member) or object path] of a GNU ld or lld map."""
    text = open(path, encoding="utf-8", errors="replace").read()
    found = []
    if text.startswith("Address ") and " Out " in text.splitlines()[0]:  # lld
        # An input section starts in the column headed "In", a symbol further
        # right (a demangled name may hold ":(" too).
        column = text.splitlines()[0].index(" In ") + 1
        for line in text.splitlines()[1:]:
            match = re.match(r"^(\S.*?):\(", line[column:])
            if line[column - 1:column] == " " and match and match.group(1) != "<internal>":
                found.append(match.group(1))
    else:  # GNU ld: the archive members it took, and the objects it loaded
        included = text.split("Archive member included to satisfy reference by file (symbol)", 1)
        if len(included) == 2:
            for line in included[1].split("\nMemory Configuration", 1)[0].splitlines():
                match = re.match(r"^(\S+\.a\([^)]+\))", line)
                if match:
                    found.append(match.group(1))
        found += re.findall(r"^LOAD (\S+\.o(?:bj)?)$", text, re.M)
    return sorted(set(found))


def archive_members(path):
    """Member names of a Unix ar archive (GNU long names resolved)."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"!<arch>\n"):
        return []
    names, long_names, at = [], b"", 8
    while at + 60 <= len(data):
        name = data[at:at + 16].decode("latin-1").rstrip()
        size = int(data[at + 48:at + 58].decode().strip())
        if name == "//":
            long_names = data[at + 60:at + 60 + size]
        elif name.startswith("/") and name[1:].isdigit():
            start = int(name[1:])
            names.append(long_names[start:long_names.index(b"/\n", start)].decode("latin-1"))
        elif name not in ("/", "/SYM64/", "__.SYMDEF"):
            names.append(name.rstrip("/"))
        at += 60 + size + (size & 1)
    return names


def resolve(objects, base, own_dirs, libdirs):
    """{(package, component, licence)} of the third-party objects (paths
    relative to base, where the linker ran). lld names most objects by their
    file name alone: an archive member of the libdirs, or one of the build's
    objects; a member that several archives hold must belong to one
    component in all of them."""
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
    result = set()
    for entry in objects:
        match = re.match(r"^(.+\.a)\((.+)\)$", entry)
        if match:
            paths = {match.group(1)}
        elif "/" not in entry:  # lld: a file name alone
            paths = index.get(entry, set())
            if entry in own_names:
                if paths:
                    raise SystemExit("third-party.py: %s is both the build's and in %s" % (entry, " ".join(paths)))
                continue
        else:
            paths = {entry}
        paths = {os.path.realpath(os.path.join(base, path)) for path in paths}
        if any(path.startswith(folder + os.sep) for path in paths for folder in own_dirs):
            continue
        found = {(package_of(path),) + component_of(path, package_of(path)) for path in paths}
        if len(found) != 1:
            raise SystemExit("third-party.py: %s is in %s: no one component" % (entry, " ".join(sorted(paths)) or
                                                                              "no archive of " + " ".join(libdirs)))
        result |= found
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
    name = os.path.basename(path)
    if package.startswith("mingw-w64-"):
        return WINPTHREADS[1:] if WINPTHREADS[0].match(name) else MINGW_RUNTIME
    for pattern, component, licence in COMPONENTS:
        if pattern.match(name):
            return component, licence
    raise SystemExit("third-party.py: %s (%s) belongs to no component: add it to COMPONENTS with its licence"
                     % (path, package))


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main(argv):
    options = {"--notices": None, "--bom": None, "--version": None, "--revision": None, "--epoch": None}
    module_name = "imdaemon"
    libdirs, maps, files, unknown = [], [], [], []
    args = iter(argv)
    for word in args:
        if word in options:
            options[word] = next(args)
        elif word == "--module":
            module_name = next(args)
        elif word == "--libdir":
            libdirs.append(next(args))
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
    own_dirs = [os.path.realpath(d) for d in (os.path.dirname(os.path.abspath(__file__)) + "/..",
                                               os.getcwd())]

    # component -> {"licence", "packages": {package: version}, "binaries": set()}
    components = {}
    copyrights = {}
    for map_path, binary, _ in maps:
        for package, name, licence in sorted(resolve(objects_of_map(map_path), os.path.dirname(os.path.abspath(map_path)),
                                                         own_dirs, libdirs)):
            version, arch, copyright_file = package_facts(package)
            entry = components.setdefault(name, {"licence": licence, "packages": {}, "binaries": set()})
            entry["packages"][package] = (version, arch)
            entry["binaries"].add(os.path.basename(binary))
            copyrights.setdefault(os.path.realpath(copyright_file), set()).add(copyright_file)

    epoch = int(options["--epoch"])
    lines = ["Third-party notices for %s %s" % (module_name, options["--version"]), "",
             "The binaries of this release hold code of the following components, which the",
             "linker took from the build system's Debian packages. Each is named with the",
             "package it came from, that package's version, and the binaries that hold it;",
             "the full copyright and licence text of each package follows.", ""]
    for name in sorted(components):
        entry = components[name]
        lines.append("%s (%s), in %s" % (name, entry["licence"], ", ".join(sorted(entry["binaries"]))))
        for package, (version, arch) in sorted(entry["packages"].items()):
            lines.append("    Debian package %s %s (%s), /usr/share/doc/%s/copyright" % (package, version, arch, package))
    for text_file, names in sorted(copyrights.items()):  # one text may serve several packages
        lines += ["", "=" * 78] + sorted(names) + ["=" * 78, ""]
        with open(text_file, encoding="utf-8") as f:
            lines.append(f.read().rstrip("\n"))
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
    for name in sorted(components):
        entry = components[name]
        packages = sorted(entry["packages"].items())
        purls = ["pkg:deb/debian/%s@%s?arch=%s" % (urllib.parse.quote(p, safe=""),
                                                  urllib.parse.quote(v, safe=""), a) for p, (v, a) in packages]
        component = {"type": "library", "bom-ref": "component:" + name, "name": name,
                     "version": packages[0][1][0], "licenses": [{"expression": entry["licence"]}], "purl": purls[0],
                     "properties": [{"name": "imdaemon:debian-package", "value": "%s %s" % (p, v)}
                                    for p, (v, _) in packages]}
        bom_components.append(component)
    dependencies = [{"ref": module_name, "dependsOn": ["file:" + name for name, _ in sorted(shipped)]}]
    for binary, entry_name in sorted((os.path.basename(b), e) for _, b, e in maps):
        dependencies.append({"ref": "file:" + entry_name, "dependsOn": sorted(
            "component:" + name for name, entry in components.items() if binary in entry["binaries"])})
    bom = {"bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
           "metadata": {"timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch)), "component": module},
           "components": bom_components, "dependencies": dependencies}
    with open(options["--bom"], "w", encoding="utf-8") as f:
        json.dump(bom, f, indent=2, sort_keys=True)
        f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
