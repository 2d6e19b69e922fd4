#!/usr/bin/env python3
"""Static proof of the Windows binaries we ship, read from their PE tables.

    pe_check.py --arch x64|x86 --platform DIR --version X.Y[.Z] --windows MAJOR.MINOR [--exports LIST] ROLE=FILE ...

ROLE is imdaemon, nodeflags or imcheck, the shipped deliverables, imsetup,
the Windows Installer package's action library, or one of the self-test's
binaries: imselftest, and the stand-ins ovspmd-sim, javaapp, ov and ovw (the
platform's DLLs). For every binary it reads the import,
delay-import and export tables as the Windows loader will, its resources as
Explorer and the loader read them, and its header checksum and certificate
table, and fails when:
- the binary is not for the architecture asked for;
- it has any delay import (the loader binds those only on first call, through
  slots the linker must have filled; some linkers leave them 0 or read-only);
- an import's address slots do not match its names, or lie outside the image;
- it imports from a DLL other than its own platform DLL, WSOCK32.dll (the
  daemon), WS2_32.dll (the self-test and the stand-ins that talk over
  sockets), msi.dll (imsetup) or a system DLL, or needs a compiler runtime
  DLL;
- a name it takes from ov.dll or ovw.dll is not in platform/<dll>.def;
- imdaemon.exe lacks a function it calls (the whole ov.dll set, FindWindowA
  and PostMessageA from USER32.dll, select and __WSAFDIsSet from WSOCK32.dll);
- imcheck.exe imports ov.dll or ovw.dll (it must run with the platform down),
  or a call that starts or ends a process or closes a window;
- a stand-in of ov.dll or ovw.dll does not export exactly what
  platform/<dll>.def declares; imsetup.dll does not export exactly the
  entries of installer/imsetup.def, under their plain names on x86 too
  (Windows Installer looks them up so); another program exports anything;
- nodeflags.dll does not export exactly the native methods of LIST
  (nodebridge/exports.txt: method, stdcall argument bytes, the method whose
  code it shares), under their stdcall names on x86, with the methods that
  share code at one address;
- its version resource is missing, or its numbers or version strings are not
  the version asked for, its file type is not the role's (program or
  library), a name, the description or the source revision is missing, or
  its string table is not in a language its translation list names;
- a program lacks its manifest (resource 1 of type 24) asking for asInvoker
  and naming Windows 10 (and 11) among its supported OS versions, and the
  minimum Windows version (--windows) as the oldest;
- its header checksum, when set, is not the file's (signing must update it);
- its certificate table (data directory 4, a file offset, not an RVA) lies
  inside the sections or past the end of the file, or holds anything but
  Authenticode (PKCS#7 signed data) entries;
- its operating-system or subsystem version is not the minimum Windows
  version (--windows), or it imports a system function that
  windows_imports.txt (beside this file) does not list or lists as newer;
- DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA (x64) or, for a program,
  TERMINAL_SERVER_AWARE is not set, or its relocations are stripped or none;
- it has no stack protector, a function of GUARDED does not store the guard
  in its prologue, or the daemon's code calls no checked form of
  _FORTIFY_SOURCE. These are read from the binary's code; the functions'
  names and addresses from the debug file its .gnu_debuglink names (the
  link's CRC must match), or from its own symbol table when it has no link.
It also checks that platform/ov.h and ov.def (ovw.h and ovw.def) name the same
functions. Prints each binary's imports and exports, then PASS or FAIL lines.
"""
import array
import bisect
import os
import re
import struct
import sys
import zlib
import xml.etree.ElementTree as ElementTree

MACHINES = {"x64": 0x8664, "x86": 0x14C}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"}
# The libraries among the roles; every other role is a program.
LIBRARIES = {"nodeflags", "ov", "ovw", "imsetup"}
# Each role's own platform DLL, and the socket DLLs beside the system's it
# may import.
OWN_DLL = {"imdaemon": "ov.dll", "nodeflags": "ovw.dll"}
SOCKET_DLLS = {"imdaemon": {"wsock32.dll"}, "imselftest": {"ws2_32.dll"}, "ovspmd-sim": {"ws2_32.dll"},
               "ov": {"ws2_32.dll"}, "imsetup": {"msi.dll"}}
COMPILER_RUNTIME = re.compile(r"^(libgcc|libstdc\+\+|libwinpthread|libc\+\+|libunwind|libssp|libatomic)")
REQUIRED = {
    "imdaemon": {"user32.dll": {"FindWindowA", "PostMessageA"}, "wsock32.dll": {"select", "__WSAFDIsSet"}},
}
RT_VERSION, RT_MANIFEST = 16, 24
DLL_FLAGS = {"HIGH_ENTROPY_VA": 0x20, "DYNAMIC_BASE": 0x40, "NX_COMPAT": 0x100, "TERMINAL_SERVER_AWARE": 0x8000}
# Functions of our own code with a local buffer, whose return the stack
# protector must guard (each returns: clang guards no function that never
# does, such as the daemon's main; none of them is inlined away).
GUARDED = {"imdaemon": {"_Z11GetJavaPathB5cxx11v", "_Z16CreateJVMProcessv"},
           "nodeflags": {"Java_quorel_im_vesk_NNMMenuManager_UpdateMenu"},
           "imcheck": {"main", "_Z11GetJavaPathB5cxx11v"}}
PROLOGUE = 128
# The daemon copies a message of run-time length into its fixed buffer, which
# the checked strcpy of _FORTIFY_SOURCE guards: every build of it must call a
# checked form. In the bridge (whose code is the same with or without it) the
# compiler proves every call it covers in bounds, so no checked call is left
# to find there. gcc's imcheck keeps one, __memcpy_chk in ListClassPath (a
# found file's name copied out of its fixed-size find record); this check is
# not told which compiler made a binary, so for imcheck it reports the
# checked calls it finds and requires none.
FORTIFIED = {"imdaemon"}
CHECKED = re.compile(r"^__(chk_fail|(?!stack_)\w+_chk)$")  # libssp's checked forms and their failure
IMPORT_TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "windows_imports.txt")
SETUP_ENTRIES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "installer", "imsetup.def")
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"  # the supportedOS Id of Windows 10 and 11
SUPPORTED_OS = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}": (6, 0), "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": (6, 1),
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": (6, 2), "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": (6, 3),
                WINDOWS_10: (10, 0)}
REVISION = re.compile(r"^Source revision ([0-9a-f]{40}(-modified)?|archive)$")
# imcheck starts nothing and closes nothing.
FORBIDDEN = {
    "imcheck": {"kernel32.dll": {"CreateProcessA", "CreateProcessW", "TerminateProcess"},
                "user32.dll": {"PostMessageA", "SendMessageA"}},
}


class Image:
    """A PE file with RVA-based access to its bytes."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, self.symbol_table, self.symbol_count, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", d, pe + 4)
        optional = pe + 24
        self.checksum_at = optional + 64
        magic = struct.unpack_from("<H", d, optional)[0]
        if magic not in (0x10B, 0x20B):
            raise ValueError("unknown optional header 0x%x" % magic)
        self.wide = magic == 0x20B
        self.os_version = struct.unpack_from("<HH", d, optional + 40)
        self.subsystem_version = struct.unpack_from("<HH", d, optional + 48)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", d, optional + 68)
        self.image_base = (struct.unpack_from("<Q", d, optional + 24)[0] if self.wide
                           else struct.unpack_from("<I", d, optional + 28)[0])
        directories = optional + (112 if self.wide else 96)
        count = struct.unpack_from("<I", d, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", d, directories + 8 * i) for i in range(count)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, vsize, va, rawsize, raw = struct.unpack_from("<8sIIII", d, table + 40 * i)
            flags = struct.unpack_from("<I", d, table + 40 * i + 36)[0]
            name = name.rstrip(b"\0").decode()
            if name.startswith("/") and name[1:].isdigit():  # a long name, in the string table
                name = self.coff_string(int(name[1:]))
            self.sections.append((name, va, max(vsize, rawsize), raw, rawsize, flags))

    def coff_string(self, offset):
        """A name from the COFF string table, which follows the symbol table."""
        at = self.symbol_table + 18 * self.symbol_count + offset
        return self.data[at:self.data.index(b"\0", at)].decode("latin-1")

    def symbols(self):
        """{name: (rva, function)} of the COFF symbol table, for symbols of a section."""
        result = {}
        at, end = self.symbol_table, self.symbol_table + 18 * self.symbol_count
        while self.symbol_table and at < end:
            short, value, section, kind, _, aux = struct.unpack_from("<8sIhHBB", self.data, at)
            if short[:4] == b"\0\0\0\0":
                name = self.coff_string(struct.unpack_from("<I", short, 4)[0])
            else:
                name = short.rstrip(b"\0").decode("latin-1")
            if 0 < section <= len(self.sections):
                result.setdefault(name, (self.sections[section - 1][1] + value, kind >> 4 == 2))
            at += 18 * (1 + aux)
        return result

    def section_named(self, name):
        return next((s for s in self.sections if s[0] == name), None)

    def relocations(self, problems):
        """Number of base relocations of the machine's kind (the loader applies
        them when it moves the image); checks that each block lies in the image."""
        rva, size = self.directory(5)
        if not rva or not size:
            return 0
        kind = 10 if self.wide else 3  # IMAGE_REL_BASED_DIR64 or _HIGHLOW
        count, at, end = 0, rva, rva + size
        try:
            while at < end:
                page, block = struct.unpack_from("<II", self.data, self.offset(at))
                if block < 8 or at + block > end or self.section_of(page) is None:
                    problems.append("base relocation block at 0x%x (page 0x%x, %d bytes) is broken" % (at, page, block))
                    return count
                for i in range(8, block, 2):
                    entry = struct.unpack_from("<H", self.data, self.offset(at + i))[0]
                    count += entry >> 12 == kind
                at += block
        except ValueError as error:
            problems.append("base relocations are not in the file: %s" % error)
        return count

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def section_of(self, rva):
        for section in self.sections:
            if section[1] <= rva < section[1] + section[2]:
                return section
        return None

    def offset(self, rva):
        section = self.section_of(rva)
        if not section or rva - section[1] >= section[4]:
            raise ValueError("RVA 0x%x is not in the file" % rva)
        return section[3] + rva - section[1]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def slot(self, rva):
        return struct.unpack_from("<Q" if self.wide else "<I", self.data, self.offset(rva))[0]

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def thunk_names(self, rva):
        """Names (or #ordinals) of a null-ended name table."""
        size = 8 if self.wide else 4
        ordinal_flag = 1 << (63 if self.wide else 31)
        names = []
        while True:
            value = self.slot(rva)
            if value == 0:
                return names
            names.append("#%d" % (value & 0xFFFF) if value & ordinal_flag else self.string((value & 0x7FFFFFFF) + 2))
            rva += size

    def imports(self, problems):
        """{dll (lower case): [names]}, checking each name's address slot."""
        result = {}
        rva, _ = self.directory(1)
        size = 8 if self.wide else 4
        while rva:
            names_rva, _, _, name_rva, slots_rva = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if name_rva == 0 and slots_rva == 0:
                break
            dll = self.string(name_rva)
            names = self.thunk_names(names_rva or slots_rva)
            for i, name in enumerate(names):
                slot = slots_rva + i * size
                if self.section_of(slot) is None:
                    problems.append("%s!%s: address slot 0x%x is outside the image" % (dll, name, slot))
                elif self.slot(slot) == 0:
                    problems.append("%s!%s: address slot 0x%x is 0 in the file" % (dll, name, slot))
            result.setdefault(dll.lower(), []).extend(names)
            rva += 20
        return result

    def delay_imports(self):
        """[(dll, name, slot rva, slot value, slot writable)] of every delay import.

        GNU ld leaves the delay-import directory empty and the delay-load
        helper finds its descriptors by symbol, so the sections are searched
        for descriptors too: attributes 1 (RVA-based), a DLL name ending in
        .dll, and address and name tables inside the image."""
        descriptors = set()
        rva, _ = self.directory(13)
        while rva and self.delay_descriptor(rva):
            descriptors.add(rva)
            rva += 32
        for name, va, size, raw, rawsize, flags in self.sections:
            for at in range(0, min(size, rawsize) - 31, 4):
                if self.data[raw + at] == 1 and self.delay_descriptor(va + at):
                    descriptors.add(va + at)
        result = []
        size = 8 if self.wide else 4
        for rva in sorted(descriptors):
            _, name_rva, _, slots_rva, names_rva = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            dll = self.string(name_rva)
            for i, name in enumerate(self.thunk_names(names_rva)):
                slot = slots_rva + i * size
                section = self.section_of(slot)
                writable = bool(section and section[5] & 0x80000000)
                result.append((dll, name, slot, self.slot(slot) if section else 0, writable))
        return result

    def delay_descriptor(self, rva):
        """True when a delay-import descriptor stands at rva."""
        try:
            attributes, name_rva, handle_rva, slots_rva, names_rva = struct.unpack_from(
                "<IIIII", self.data, self.offset(rva))
            if attributes != 1 or not all(map(self.section_of, (name_rva, handle_rva, slots_rva, names_rva))):
                return False
            dll = self.string(name_rva)
            return (dll.lower().endswith(".dll") and dll.isprintable() and len(dll) < 256
                    and len(self.thunk_names(names_rva)) > 0)
        except (ValueError, struct.error, UnicodeDecodeError):
            return False

    def resources(self):
        """{(type, id): data} of the resource tree (its first language of each)."""
        root, _ = self.directory(2)
        result = {}
        if not root:
            return result

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, self.offset(root + at + 12))
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, self.offset(root + at + 16 + 8 * i))

        for kind, names in entries(0):
            for name, languages in entries(names & 0x7FFFFFFF):
                for _, leaf in entries(languages & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, self.offset(root + leaf))
                    if size:
                        self.offset(rva + size - 1)  # the whole of it lies in the file
                    result.setdefault((kind, name), self.data[self.offset(rva):self.offset(rva) + size])
        return result

    def checksum(self):
        """(stored, computed) header checksum: the file's 16-bit words with the
        checksum field as 0, carries folded back in, plus the file's length."""
        at = self.checksum_at
        stored = struct.unpack_from("<I", self.data, at)[0]
        words = self.data[:at] + bytes(4) + self.data[at + 4:] + bytes(len(self.data) % 2)
        total = sum(array.array("H", words))
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        return stored, total + len(self.data)

    def certificates(self, problems):
        """Number of entries of the certificate table (0 when unsigned).

        Its directory holds a file offset, not an RVA: the table is appended
        after the sections and is never loaded."""
        at, size = self.directory(4)
        if not at and not size:
            return 0
        end_of_sections = max(raw + rawsize for _, _, _, raw, rawsize, _ in self.sections)
        if at % 8 or at < end_of_sections or at + size > len(self.data):
            problems.append("certificate table at file offset 0x%x, %d bytes: not 8-aligned after the sections "
                            "(end 0x%x) within the file (%d bytes)" % (at, size, end_of_sections, len(self.data)))
            return 0
        count, end = 0, at + size
        while at < end:
            length, revision, kind = struct.unpack_from("<IHH", self.data, at)
            if length <= 8 or at + length > end:
                problems.append("certificate entry at 0x%x of %d bytes overruns its table" % (at, length))
                break
            if revision != 0x200 or kind != 2 or self.data[at + 8] != 0x30:
                problems.append("certificate entry at 0x%x is no PKCS#7 Authenticode signature "
                                "(revision 0x%x, type %d)" % (at, revision, kind))
            count += 1
            at += (length + 7) & ~7
        return count

    def exports(self):
        """{name: rva} of the export table."""
        rva, _ = self.directory(0)
        if not rva:
            return {}
        count_names, functions, names, ordinals = struct.unpack_from("<IIII", self.data, self.offset(rva) + 24)
        result = {}
        for i in range(count_names):
            name = self.string(self.u32(names + 4 * i))
            ordinal = struct.unpack_from("<H", self.data, self.offset(ordinals + 2 * i))[0]
            result[name] = self.u32(functions + 4 * ordinal)
        return result


def version_info(data):
    """(fixed file info, [(string table key, {name: value})], [translation keys])
    of a VS_VERSIONINFO resource: nodes of length, value length (characters
    for text), type, key and value, each 4-aligned, children after the value."""

    def node(at, limit):
        length, value_length, text = struct.unpack_from("<HHH", data, at)
        end = at + length
        if length < 6 or end > limit:
            raise ValueError("version resource node at %d overruns its parent" % at)
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
            if key_end >= end:
                raise ValueError("version resource key at %d has no end" % at)
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value = data[value_at:min(end, value_at + value_length * (2 if text else 1))]
        children, at = [], (value_at + len(value) + 3) & ~3
        while at < end:
            child = node(at, end)
            children.append(child)
            at = (at + struct.unpack_from("<H", data, at)[0] + 3) & ~3
        return key, text, value, children

    key, _, fixed, children = node(0, len(data))
    if key != "VS_VERSION_INFO" or len(fixed) < 52 or struct.unpack_from("<I", fixed)[0] != 0xFEEF04BD:
        raise ValueError("no VS_VERSIONINFO with a fixed file info")
    tables, translations = [], []
    for key, _, _, blocks in children:
        for block_key, _, value, strings in blocks:
            if key == "StringFileInfo":
                tables.append((block_key, {name: text.decode("utf-16-le").split("\0")[0]
                                           for name, _, text, _ in strings}))
            elif key == "VarFileInfo" and block_key == "Translation":
                translations += ["%04X%04X" % pair for pair in struct.iter_unpack("<HH", value)]
    return struct.unpack_from("<13I", fixed), tables, translations


def check_version(role, image, version, problems):
    """The version resource against the version asked for; a line to print."""
    resource = image.resources().get((RT_VERSION, 1))
    if resource is None:
        problems.append("has no version resource")
        return "no version resource"
    fixed, tables, translations = version_info(resource)
    numbers = [int(n) for n in version.split(".")] + [0] * (4 - len(version.split(".")))
    wanted = (numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
    for what, words in (("file", fixed[2:4]), ("product", fixed[4:6])):
        if words != wanted:
            problems.append("%s version %d.%d.%d.%d, not %s" % (what, words[0] >> 16, words[0] & 0xFFFF,
                                                                 words[1] >> 16, words[1] & 0xFFFF, version))
    program = role not in LIBRARIES
    if fixed[9] != (1 if program else 2):
        problems.append("file type %d, not %s" % (fixed[9], "VFT_APP" if program else "VFT_DLL"))
    if len(tables) != 1:
        problems.append("%d string tables, not one" % len(tables))
        return "version resource without one string table"
    language, strings = tables[0]
    if language.upper() not in translations:
        problems.append("string table %s is not among the translations %s" % (language, translations))
    expected = {"FileVersion": version, "ProductVersion": version, "InternalName": role,
                "OriginalFilename": role + (".exe" if program else ".dll")}
    for name, value in sorted(expected.items()):
        if strings.get(name) != value:
            problems.append("%s is %r, not %r" % (name, strings.get(name), value))
    for name in ("FileDescription", "ProductName"):
        if not strings.get(name):
            problems.append("has no %s" % name)
    if not REVISION.match(strings.get("Comments", "")):
        problems.append("Comments %r does not name the source revision" % strings.get("Comments"))
    return "version %s \"%s\", %s" % (strings.get("FileVersion"), strings.get("FileDescription"),
                                     strings.get("Comments"))


def check_manifest(image, windows, problems):
    """The program's manifest: asInvoker, Windows 10 and 11, and the minimum
    Windows version as the oldest it names; a line to print."""
    resource = image.resources().get((RT_MANIFEST, 1))
    if resource is None:
        problems.append("has no manifest")
        return "no manifest"
    try:
        root = ElementTree.fromstring(resource)
    except ElementTree.ParseError as error:
        problems.append("manifest is no XML: %s" % error)
        return "manifest unreadable"
    found = {}
    for element in root.iter():
        found.setdefault(element.tag.rsplit("}", 1)[-1], []).append(element)
    levels = [e.get("level") for e in found.get("requestedExecutionLevel", [])]
    systems = {e.get("Id", "").lower() for e in found.get("supportedOS", [])}
    if levels != ["asInvoker"]:
        problems.append("manifest asks for execution level %s, not asInvoker" % levels)
    if WINDOWS_10 not in systems:
        problems.append("manifest does not name Windows 10 and 11 as supported")
    oldest = min((SUPPORTED_OS[s] for s in systems if s in SUPPORTED_OS), default=None)
    if oldest != windows and windows >= min(SUPPORTED_OS.values()):
        problems.append("manifest names Windows %s as the oldest it supports, not the minimum %d.%d"
                        % ("%d.%d" % oldest if oldest else "none", windows[0], windows[1]))
    return "manifest: execution level %s, %d supported OS versions" % ("/".join(map(str, levels)), len(systems))


def debug_symbols(image, path, arch, problems):
    """{name: (rva, function)} of the debug file the binary's .gnu_debuglink
    names, which must lie beside it with the CRC the link holds (so that it is
    this binary's), or else of the binary's own symbol table. Names lose the
    underscore x86 puts before C names and the @n of stdcall."""
    link = image.section_named(".gnu_debuglink")
    if link is None:
        found = image.symbols()
    else:
        raw = image.data[link[3]:link[3] + link[4]]
        name = raw[:raw.index(b"\0")].decode()
        crc = struct.unpack_from("<I", raw, (len(name) + 4) & ~3)[0]
        debug_path = os.path.join(os.path.dirname(path), name)
        try:
            with open(debug_path, "rb") as f:
                debug_data = f.read()
        except OSError as error:
            problems.append("its debug file cannot be read: %s" % error)
            return {}
        if zlib.crc32(debug_data) != crc:
            problems.append("%s is not its debug file: CRC 0x%08x, the link says 0x%08x"
                            % (debug_path, zlib.crc32(debug_data), crc))
            return {}
        found = Image(debug_path).symbols()
    if not any(function for _, function in found.values()):
        problems.append("has no function symbols, nor a debug file: the stack protector cannot be proven")
    result = {}
    for name, value in found.items():
        if arch == "x86" and name.startswith("_"):
            name = re.sub(r"@\d+$", "", name[1:])
        result.setdefault(name, value)
    return result


def code_references(image, functions, calls, data):
    """{function: {name: offset of its first use}} of the direct calls and
    jumps (rel32) that land on one of calls ({rva: name}), and of the loads
    from one of data: RIP-relative on x64, absolute on x86 (an address the
    base relocations move). Each site belongs to the function symbol at or
    before it."""
    starts = sorted(functions)
    result = {}

    def note(at, name):
        index = bisect.bisect_right(starts, at) - 1
        if index >= 0:
            uses = result.setdefault(functions[starts[index]], {})
            uses[name] = min(uses.get(name, at - starts[index]), at - starts[index])

    absolute = {} if image.wide else {struct.pack("<I", image.image_base + rva): name for rva, name in data.items()}
    for _, va, size, raw, rawsize, flags in image.sections:
        if not flags & 0x20000000:  # IMAGE_SCN_MEM_EXECUTE
            continue
        code = image.data[raw:raw + min(size, rawsize)]
        for at in range(1, len(code) - 4):
            target = va + at + 4 + struct.unpack_from("<i", code, at)[0]
            if code[at - 1] in (0xE8, 0xE9) and target in calls:
                note(va + at - 1, calls[target])
            elif image.wide and target in data:
                note(va + at, data[target])
            elif not image.wide and code[at:at + 4] in absolute:
                note(va + at, absolute[code[at:at + 4]])
    return result


def check_hardening(role, image, path, arch, windows, problems):
    """The header's Windows version and mitigation flags, the relocations that
    let the loader move the image, the stack protector in the functions that
    must have it and the checked calls of _FORTIFY_SOURCE; lines to print."""
    facts = []
    for what, version in (("operating-system", image.os_version), ("subsystem", image.subsystem_version)):
        if version != windows:
            problems.append("%s version %d.%d in its header, not the minimum Windows version %d.%d"
                            % ((what,) + version + windows))
    flags = image.dll_characteristics
    wanted = {"DYNAMIC_BASE": 0x40, "NX_COMPAT": 0x100}
    if arch == "x64":
        wanted["HIGH_ENTROPY_VA"] = 0x20
    if role not in LIBRARIES:
        wanted["TERMINAL_SERVER_AWARE"] = 0x8000
    for name, bit in sorted(wanted.items()):
        if not flags & bit:
            problems.append("%s is not set (DllCharacteristics 0x%04x)" % (name, flags))
    relocations = image.relocations(problems)
    if image.characteristics & 0x0001:
        problems.append("its relocations are stripped (IMAGE_FILE_RELOCS_STRIPPED): the loader cannot move it")
    elif relocations == 0:
        problems.append("has no base relocations: the loader cannot move it, whatever DYNAMIC_BASE says")
    names = " ".join(name for name, bit in sorted(DLL_FLAGS.items()) if flags & bit) or "none"
    facts.append("Windows %d.%d, subsystem %d.%d; DllCharacteristics 0x%04x (%s); %d base relocations"
                 % (image.os_version + image.subsystem_version + (flags, names, relocations)))

    symbols = debug_symbols(image, path, arch, problems)
    if not symbols:
        return facts
    functions = {rva: name for name, (rva, function) in symbols.items() if function}
    checked = {rva: name for rva, name in functions.items() if CHECKED.match(name)}
    calls = dict(checked)
    if "__stack_chk_fail" in symbols:
        calls[symbols["__stack_chk_fail"][0]] = "__stack_chk_fail"
    guard = {symbols[name][0]: "guard" for name in ("__stack_chk_guard", ".refptr.__stack_chk_guard") if name in symbols}
    uses = code_references(image, functions, calls, guard)
    # The guard goes into the frame in the prologue; a load further on may be
    # another function's, whose symbol the table lacks (lld keeps no static
    # ones).
    guarded = sorted(f for f, names in uses.items() if names.get("guard", PROLOGUE) < PROLOGUE)
    if "__stack_chk_fail" not in symbols or not guard:
        problems.append("has no stack protector: __stack_chk_fail or __stack_chk_guard is not in it")
    for name in sorted(GUARDED.get(role, set())):
        if name not in guarded:
            problems.append("%s does not place the stack guard in its frame in its first %d bytes "
                            "(-fstack-protector-strong)" % (name, PROLOGUE))
    facts.append("stack protector: %d function(s) place the guard, %d check it on return (required: %s)"
                 % (len(guarded), sum("__stack_chk_fail" in uses[f] for f in guarded),
                    ", ".join(sorted(GUARDED.get(role, set())))))
    fortified = sorted(f for f, names in uses.items() if set(names) - {"__stack_chk_fail", "guard"}
                       and f not in checked.values())
    if role in FORTIFIED and not fortified:
        problems.append("no function calls a checked form (_FORTIFY_SOURCE), yet its code copies into a fixed buffer")
    facts.append("_FORTIFY_SOURCE: %s" % ("%d function(s) call the checked forms (%s)" % (len(fortified), ", ".join(
        sorted({c for f in fortified for c in uses[f]} - {"__stack_chk_fail", "guard"}))) if fortified
        else "no call of its own that the checked forms cover"))
    return facts


def windows_imports(path):
    """{(dll, name): (major, minor)} of the table of system imports."""
    table = {}
    for number, line in enumerate(open(path), 1):
        words = line.split("#")[0].split()
        if not words:
            continue
        if len(words) != 3 or not re.match(r"^\d+\.\d+$", words[2]):
            raise ValueError("%s:%d: not <dll> <function> <major.minor>" % (path, number))
        table[(words[0].lower(), words[1])] = tuple(int(n) for n in words[2].split("."))
    return table


def check_system_imports(imports, windows, table, problems):
    """Every import from a system DLL must be in the table, and be there in
    the minimum Windows version."""
    for dll in sorted(set(imports) & (SYSTEM_DLLS | {"wsock32.dll", "ws2_32.dll", "msi.dll"})):
        for name in sorted(set(imports[dll])):
            first = table.get((dll, name))
            if first is None:
                problems.append("imports %s!%s, which %s does not list: look up the first Windows version "
                                "that has it and add it" % (dll, name, os.path.basename(IMPORT_TABLE)))
            elif first > windows:
                problems.append("imports %s!%s, first in Windows %d.%d, newer than the minimum %d.%d"
                                % ((dll, name) + first + windows))


def declared(platform, lib):
    """Names an export list declares (DATA and aliases stripped)."""
    return declared_in("%s/%s.def" % (platform, lib))


def declared_in(path):
    """Names the export list at path declares (DATA and aliases stripped)."""
    names, listing = set(), False
    for line in open(path):
        words = line.split(";")[0].split()
        if words and words[0] == "EXPORTS":
            listing = True
        elif words and listing:
            names.add(words[0])
    return names


def header_names(platform, lib):
    text = open("%s/%s.h" % (platform, lib)).read()
    return set(re.findall(r"^OVW?_API\b[^;(]*?\b(\w+)\s*(?:\(|;)", text, re.M))


def export_list(path):
    """[(method, argument bytes, method whose code it runs)] of the bridge's list."""
    methods = []
    for line in open(path):
        words = line.split("#")[0].split()
        if words:
            methods.append((words[0], int(words[1]), words[-1] if len(words) > 2 else words[0]))
    return methods


def export_names(arch, methods):
    """{export name: method whose code it runs}."""
    if arch == "x86":
        return {"_Java_quorel_im_vesk_NNMMenuManager_%s@%d" % (m, size): code for m, size, code in methods}
    return {"Java_quorel_im_vesk_NNMMenuManager_" + m: code for m, size, code in methods}


def check(role, path, arch, platform, methods, version, windows, table):
    problems = []
    image = Image(path)
    if image.machine != MACHINES[arch]:
        problems.append("machine 0x%x, not %s" % (image.machine, arch))
    for dll, name, slot, value, writable in image.delay_imports():
        problems.append("delay import %s!%s (slot 0x%x holds 0x%x, %s)"
                        % (dll, name, slot, value, "writable" if writable else "read-only"))
    imports = image.imports(problems)
    check_system_imports(imports, windows, table, problems)
    own = OWN_DLL.get(role)
    allowed = SYSTEM_DLLS | ({own} if own else set()) | SOCKET_DLLS.get(role, set())
    for dll in sorted(imports):
        if COMPILER_RUNTIME.match(dll):
            problems.append("needs the compiler runtime DLL %s" % dll)
        elif dll not in allowed:
            problems.append("imports from %s" % dll)
    for lib in ("ov", "ovw"):
        for name in sorted(set(imports.get(lib + ".dll", [])) - declared(platform, lib)):
            problems.append("takes %s from %s.dll, which platform/%s.def does not declare" % (name, lib, lib))
    if own and own not in imports:
        problems.append("does not import %s" % own)
    needed = dict(REQUIRED.get(role, {}))
    if role == "imdaemon":
        needed["ov.dll"] = declared(platform, "ov")
    for dll, names in sorted(needed.items()):
        for name in sorted(names - set(imports.get(dll, []))):
            problems.append("does not import %s from %s" % (name, dll))
    for dll, names in sorted(FORBIDDEN.get(role, {}).items()):
        for name in sorted(names & set(imports.get(dll, []))):
            problems.append("imports %s from %s" % (name, dll))
    exports = image.exports()
    if role == "nodeflags":
        expected = export_names(arch, methods)
        if set(exports) != set(expected):
            problems.append("exports %s, expected %s" % (sorted(exports), sorted(expected)))
        else:
            for code in sorted(set(expected.values())):
                sharing = sorted(n for n, c in expected.items() if c == code)
                if len({exports[n] for n in sharing}) != 1:
                    problems.append("%s share %s's code but lie at different addresses" % (sharing, code))
            if len({exports[n] for n in expected}) != len(set(expected.values())):
                problems.append("methods with code of their own share an address")
    elif role == "imsetup":
        entries = declared_in(SETUP_ENTRIES)
        if set(exports) != entries:
            problems.append("exports %s, expected the plain names installer/imsetup.def lists: %s"
                            % (sorted(exports), sorted(entries)))
    elif role in ("ov", "ovw"):
        if set(exports) != declared(platform, role):
            problems.append("exports %s, expected what platform/%s.def declares: %s"
                            % (sorted(exports), role, sorted(declared(platform, role))))
    elif exports:
        problems.append("exports %s" % sorted(exports))
    facts = [check_version(role, image, version, problems)]
    facts += check_hardening(role, image, path, arch, windows, problems)
    if role not in LIBRARIES:
        facts.append(check_manifest(image, windows, problems))
    stored, computed = image.checksum()
    if stored and stored != computed:
        problems.append("header checksum 0x%x, the file's is 0x%x" % (stored, computed))
    signatures = image.certificates(problems)
    facts.append("%d Authenticode signature(s)" % signatures if signatures else "unsigned")

    print("%s (%s, %s)" % (role, path, arch))
    for fact in facts:
        print("  " + fact)
    for dll in sorted(imports):
        print("  imports %s: %s" % (dll, " ".join(sorted(imports[dll]))))
    for name in sorted(exports):
        print("  exports %s" % name)
    for problem in problems:
        print("  FAIL: %s" % problem)
    return not problems


def main(argv):
    arch = platform = exports = version = windows = None
    binaries = []
    args = iter(argv)
    for word in args:
        if word == "--arch":
            arch = next(args)
        elif word == "--platform":
            platform = next(args)
        elif word == "--exports":
            exports = next(args)
        elif word == "--version":
            version = next(args)
        elif word == "--windows":
            windows = next(args)
        else:
            role, _, path = word.partition("=")
            binaries.append((role, path))
    if arch not in MACHINES or not platform or not binaries or (
            not re.match(r"^\d+(\.\d+){1,3}$", version or "")) or (
            not re.match(r"^\d+\.\d+$", windows or "")) or (
            not exports and any(role == "nodeflags" for role, _ in binaries)):
        print(__doc__.strip().splitlines()[2])
        return 2
    ok = True
    for lib in ("ov", "ovw"):
        if header_names(platform, lib) != declared(platform, lib):
            print("FAIL: platform/%s.h and platform/%s.def name different functions" % (lib, lib))
            ok = False
    methods = export_list(exports) if exports else []
    windows = tuple(int(n) for n in windows.split("."))
    table = windows_imports(IMPORT_TABLE)
    for role, path in binaries:
        try:
            ok = check(role, path, arch, platform, methods, version, windows, table) and ok
        except (OSError, ValueError, struct.error) as error:
            print("%s (%s): FAIL: cannot read its tables: %s" % (role, path, error))
            ok = False
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
