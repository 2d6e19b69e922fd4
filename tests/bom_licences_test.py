#!/usr/bin/env python3
"""The licence reading of cmake/third-party.py, case by case: DEP-5 patterns,
which Files paragraph governs a source file, where a compile unit's source
file starts in the source tree, licence names to SPDX ids or named
licences, the gcc copyright file's runtime-exception list, the licence
choices of the bill, the symbols of a linker map, and the symbol index that
tells two archive members of one name apart. Where Debian's mingw-w64
packages are installed, the same on their copyright file and libmingwex.a.

    bom_licences_test.py
"""
import importlib.util
import os
import shutil
import sys
import tempfile

spec = importlib.util.spec_from_file_location(
    "third_party", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cmake", "third-party.py"))
tp = importlib.util.module_from_spec(spec)
spec.loader.exec_module(tp)
failures = []


def check(what, got, expected):
    if got != expected:
        failures.append("%s: %r, expected %r" % (what, got, expected))
        print("FAIL: " + failures[-1])


def keys_of(copyright, path):
    """The licence keys of a path, or None where no paragraph matches it."""
    paragraph = copyright.paragraph(path)
    return None if paragraph is None else {l.key for l in copyright.licences(paragraph)}


# (archive, package, (part, licence without a machine-readable copyright
# file, the folder that file names the part's sources by)).
for archive, package, expected in [
        ("/l/libwinpthread.a", "mingw-w64-x86-64-dev", ("winpthreads", "MIT AND BSD-3-Clause", None)),
        ("/l/libpthread.a", "mingw-w64-i686-dev", ("winpthreads", "MIT AND BSD-3-Clause", None)),
        ("/l/libmingwex.a", "mingw-w64-x86-64-dev", ("mingw-w64 runtime", "ZPL-2.1", None)),
        ("/l/crtbegin.o", "mingw-w64-x86-64-dev", ("mingw-w64 runtime", "ZPL-2.1", None)),
        ("/g/libsupc++.a", "g++-mingw-w64-x86-64-posix", ("libstdc++", tp.GCC_RUNTIME, "libstdc++-v3")),
        ("/g/libssp_nonshared.a", "gcc-mingw-w64-i686-posix", ("libssp", tp.GCC_RUNTIME, "libssp")),
        ("/g/crtend.o", "gcc-mingw-w64-x86-64-posix", ("libgcc", tp.GCC_RUNTIME, "libgcc")),
        ("/g/libgcc_eh.a", "gcc-mingw-w64-x86-64-posix", ("libgcc", tp.GCC_RUNTIME, "libgcc"))]:
    check("part of %s" % archive, tp.component_of(archive, package), expected)
try:
    tp.component_of("/g/libquadmath.a", "gcc-mingw-w64-x86-64-posix")
    failures.append("an archive of no known part belongs to one")
except SystemExit:
    pass

# (pattern, path, matches): * and ? match / too; a backslash escapes; the
# whole path from the top of the tree.
for pattern, path, matches in [
        ("*", "mingw-w64-crt/gdtoa/gdtoa.c", True),
        ("*.c", "mingw-w64-crt/misc/a.c", True),
        ("*.c", "mingw-w64-crt/misc/a.h", False),
        ("mingw-w64-crt/gdtoa/*", "mingw-w64-crt/gdtoa/sub/x.c", True),
        ("mingw-w64-crt/gdtoa/*", "mingw-w64-crt/gdtoa2/x.c", False),
        ("mingw-w64-crt/math/x86/ceil*.S", "mingw-w64-crt/math/x86/ceilf.S", True),
        ("mingw-w64-crt/math/x86/ceil*.S", "mingw-w64-crt/math/x86/floor.S", False),
        ("d3d11_?.idl", "d3d11_1.idl", True),
        ("d3d11_?.idl", "d3d11_12.idl", False),
        ("Makefile.in", "sub/Makefile.in", False),
        ("Makefile.in", "Makefile.in.orig", False),
        ("a.c", "abc", False),
        ("a+b(1).c", "a+b(1).c", True),
        ("a\\*b", "a*b", True),
        ("a\\*b", "axb", False),
        ("a\\?", "a?", True),
        ("a\\?", "ab", False)]:
    check("pattern %s on %s" % (pattern, path), bool(tp.pattern_regex(pattern).fullmatch(path)), matches)

COPYRIGHT = """Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: sample

Files: *
Copyright: someone
License: ZPL-2.1
 The whole package's terms.
 .
 Second paragraph.

Files: lib/*
       lib/extra/*.c
Copyright: someone else
License: Expat

Files: lib/extra/odd.c
Copyright: a third
License: Odd-Licence
 Odd terms,
   indented.

Files: lib/both.c
Copyright: two
License: BSD-2-clause-NetBSD and ISC

Files: lib/choice.c
Copyright: two
License: GPL-2+ or Artistic

Files: lib/shout.c
Copyright: loud
License: EXPAT

# A comment line, which is no field.
License: Expat
 Expat terms.

License: ISC
 ISC terms.

License: BSD-2-clause-NetBSD
 NetBSD terms.

License: GPL-2+
 GPL terms.
"""
copyright = tp.Copyright(COPYRIGHT)
L = tp.Licence
# (path, licences): the last matching paragraph; a licence's text its own
# paragraph's, else its stand-alone paragraph's; "and" splits, "or" stays one.
for path, expected in [
        ("README", {L("id", "ZPL-2.1", "The whole package's terms.\n\nSecond paragraph.", "ZPL-2.1")}),
        ("lib/a.c", {L("id", "MIT", "Expat terms.", "Expat")}),
        ("lib/extra/b.c", {L("id", "MIT", "Expat terms.", "Expat")}),
        ("lib/extra/odd.c", {L("name", "Odd-Licence", "Odd terms,\n  indented.", "Odd-Licence")}),
        ("lib/both.c", {L("name", "BSD-2-clause-NetBSD", "NetBSD terms.", "BSD-2-clause-NetBSD"),
                        L("id", "ISC", "ISC terms.", "ISC")}),
        ("lib/choice.c", {L("name", "GPL-2+ or Artistic", "GPL terms.", "GPL-2+ or Artistic")}),
        ("lib/shout.c", {L("id", "MIT", "Expat terms.", "EXPAT")})]:
    check("licences of %s" % path, copyright.licences(copyright.paragraph(path)), expected)
check("the package's files as a whole", copyright.whole()[1], ["*"])
check("top folders of the patterns", copyright.anchors, {"lib"})

# (name, folder, path): from the first top folder the patterns name; None
# for a file named without one.
for name, comp_dir, path in [
        ("./lib/a.c", "/build", "lib/a.c"),
        ("../../lib/extra/b.c", "/build/out/x", "lib/extra/b.c"),
        ("/src/pkg-1.0/lib/a.c", "/elsewhere", "lib/a.c"),
        ("a.c", "/build/lib", "lib/a.c"),
        ("./lib/extra/lib/c.c", "/build", "lib/extra/lib/c.c"),
        ("ceil.S", "/build", None),
        ("lib", "/build", None)]:
    check("source path of %s in %s" % (name, comp_dir), copyright.source_path(name, comp_dir), path)

try:
    tp.Copyright("This work was packaged for Debian by someone.\n\nGCC is free software.\n")
    failures.append("a copyright file without a Format field reads as machine-readable")
except ValueError:
    pass

EXCEPTION = """The following runtime libraries are licensed under the terms of the
GNU General Public License (v3 or later) with version 3.1 of the GCC
Runtime Library Exception (included in this file):

 - libgcc (libgcc/, gcc/libgcc2.[ch],
   gcc/unwind*).
 - libssp
 - libstdc++-v3

The libbacktrace library is licensed under the following terms:
 - notthisone

GCC RUNTIME LIBRARY EXCEPTION

Version 3.1, 31 March 2009
"""
check("runtime-exception libraries", tp.runtime_exception_libraries(EXCEPTION), {"libgcc", "libssp", "libstdc++-v3"})
check("runtime-exception libraries without the exception's text",
      tp.runtime_exception_libraries(EXCEPTION.split("GCC RUNTIME")[0]), set())

# (licences, choice): expressions alone as one expression; else licence
# objects, an expression by its text as a name, with texts, sorted.
gcc = L("expression", tp.GCC_RUNTIME, None, None)
for licences, expected in [
        ({gcc}, [{"expression": tp.GCC_RUNTIME}]),
        ({gcc, L("expression", "MIT", None, None)}, [{"expression": "(%s) AND (MIT)" % tp.GCC_RUNTIME}]),
        ({L("name", "Lucent", "Lucent terms.", "Lucent"), L("id", "ZPL-2.1", None, "ZPL-2.1")},
         [{"license": {"name": "Lucent", "text": {"content": "Lucent terms."}}}, {"license": {"id": "ZPL-2.1"}}]),
        ({gcc, L("id", "MIT", "Expat terms.", "Expat")},
         [{"license": {"name": tp.GCC_RUNTIME}}, {"license": {"id": "MIT", "text": {"content": "Expat terms."}}}])]:
    check("licence choice of %s" % sorted(l.key for l in licences), tp.bom_licences(licences), expected)

# The symbols each object's input sections hold, in GNU ld's map and lld's.
GNU_MAP = """Archive member included to satisfy reference by file (symbol)

/lib/libm.a(m-strtof.o)
                              main.o (__strtof)

Memory Configuration

Linker script and memory map

LOAD main.o
 .text          0x0000000140001000       0x10 main.o
                0x0000000140001000                main
 .text          0x0000000140001010       0xa0 /lib/libm.a(m-strtof.o)
                0x0000000140001010                __strtof
                0x0000000140001010                __mingw_strtof
 *(.data)
                0x0000000140002000                __data_start__ = .
"""
LLD_MAP = """Address  Size     Align Out     In      Symbol
00001000 000244f6  4096 .text
00001000 00000510    16         /lib/crt2.o:(.text)
00001000 00000000     0                 mainCRTStartup
00001510 000000a0    16         m-strtof.o:(.text)
00001510 00000000     0                 __strtof
00002000 00000010    16         <internal>:(.text)
00002000 00000000     0                 not_an_object
"""
with tempfile.TemporaryDirectory() as work:
    for name, text, expected in [
            ("gnu.map", GNU_MAP, {"/lib/libm.a(m-strtof.o)": {"__strtof", "__mingw_strtof"}, "main.o": {"main"}}),
            ("lld.map", LLD_MAP, {"/lib/crt2.o": {"mainCRTStartup"}, "m-strtof.o": {"__strtof"}})]:
        with open(os.path.join(work, name), "w") as f:
            f.write(text)
        check("objects of %s" % name, tp.objects_of_map(os.path.join(work, name)), expected)

    # An archive with a symbol index, a long name and two members of one name.
    def member(name, body):
        return (name.ljust(16) + "0".ljust(12) + "0".ljust(6) + "0".ljust(6) + "644".ljust(8)
                + str(len(body)).ljust(10) + "`\n").encode() + body + (b"\n" if len(body) % 2 else b"")
    long_names = b"a-very-long-member-name.o/\n"
    bodies = [("twin.o/", b"first"), ("twin.o/", b"second"), ("/0", b"long")]
    symbols = [b"_one", b"two", b"_three"]
    index_size = 4 + 4 * len(symbols) + sum(len(s) + 1 for s in symbols)
    at = 8 + 60 + index_size + (index_size % 2) + 60 + len(long_names) + (len(long_names) % 2)
    offsets = []
    for name, body in bodies:
        offsets.append(at)
        at += 60 + len(body) + len(body) % 2
    index = (len(symbols).to_bytes(4, "big") + b"".join(o.to_bytes(4, "big") for o in offsets)
             + b"".join(s + b"\0" for s in symbols))
    archive = os.path.join(work, "libsample.a")
    with open(archive, "wb") as f:
        f.write(b"!<arch>\n" + member("/", index) + member("//", long_names)
                + b"".join(member(name, body) for name, body in bodies))
    check("members of an archive", tp.archive_table(archive)[0],
          list(zip(offsets, ["twin.o", "twin.o", "a-very-long-member-name.o"])))
    check("symbol index of an archive", tp.archive_table(archive)[1],
          {"_one": offsets[0], "two": offsets[1], "_three": offsets[2]})
check("symbol names with x86's underscore", tp.names_of({"one"}), {"one", "_one"})

# The real thing, where it is installed: Debian's copyright file of
# mingw-w64 and the two strtof.o of libmingwex.a.
real = "/usr/share/doc/mingw-w64-x86-64-dev/copyright"
if os.path.exists(real):
    mingw = tp.copyright_of(real)
    for path, keys in [
            ("mingw-w64-crt/gdtoa/gdtoa.c", {"Lucent"}),
            ("mingw-w64-crt/gdtoa/qnan.c", {"David-Gay"}),
            ("mingw-w64-crt/stdio/mingw_pformat.c", {"Keith-Marshall"}),
            ("mingw-w64-crt/crt/crtexe.c", {"public-domain"}),
            ("mingw-w64-crt/secapi/rand_s.c", {"ZPL-2.1"}),
            ("mingw-w64-crt/misc/getopt.c", {"BSD-2-clause-NetBSD", "ISC"}),
            ("mingw-w64-libraries/winpthreads/src/thread.c", {"MIT"}),
            ("mingw-w64-libraries/winpthreads/src/clock.c", {"public-domain"})]:
        check("licences of %s in %s" % (path, real), keys_of(mingw, path), keys)
    lucent = mingw.licences(mingw.paragraph("mingw-w64-crt/gdtoa/gdtoa.c") or ([], [], "none", None))
    check("text of Lucent", [l.text.split("\n")[0] for l in lucent],
          ["Permission to use, copy, modify, and distribute this software and"])
    check("source path of a compile unit", mingw.source_path("./mingw-w64-crt/gdtoa/gdtoa.c", "/build"),
          "mingw-w64-crt/gdtoa/gdtoa.c")
libmingwex = "/usr/x86_64-w64-mingw32/lib/libmingwex.a"
objdump = shutil.which("x86_64-w64-mingw32-objdump")
if os.path.exists(libmingwex) and objdump:
    tp.OBJDUMP[:] = [objdump]
    for symbols, sources in [
            ({"__mingw_strtof"}, [[("./mingw-w64-crt/gdtoa/strtof.c", "/build")]]),
            ({"strtof"}, [[("./mingw-w64-crt/stdio/strtof.c", "/build")]]),
            (set(), [[("./mingw-w64-crt/stdio/strtof.c", "/build")], [("./mingw-w64-crt/gdtoa/strtof.c", "/build")]])]:
        check("strtof.o for %s" % sorted(symbols),
              sorted(tp.objects_of(libmingwex, "lib64_libmingwex_a-strtof.o", symbols)), sorted(sources))

print("FAIL" if failures else "PASS: the licence matcher of third-party.py")
sys.exit(1 if failures else 0)
