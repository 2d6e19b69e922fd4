#!/usr/bin/env python3
"""The Windows Installer package's tables, read back with msiinfo, against
what the install relies on.

    package_check.py <package.msi> <release ZIP> <imsetup.dll> <x64|x86> <objdump> <epoch>

Fails when:
- the cabinet's files are not the release ZIP's entries, byte for byte, or a
  file lies outside INSTALLDIR or has no component of its own; on x64 a
  component is not 64-bit;
- the action library in the Binary table is not the imsetup.dll built, or a
  DLL custom action's entry is not one of its exports;
- a custom action has another type than its role needs (immediate, deferred
  without impersonation, or rollback; a type-51 property setter);
- the sequence does not keep the order the install depends on: the command
  line's values kept before AppSearch reads the remembered ones, Prepare and
  CheckRunning before anything changes, each rollback action right before
  the change it undoes and under the same condition, the self-check after
  every file and registry value is written;
- the upgrade rows do not detect a newer version (which Prepare, after
  FindRelatedProducts, refuses) and take an older one in place;
- INSTALLDIR, JAVA and the upgrade properties are not kept for the server
  side (SecureCustomProperties), the Restart Manager is not switched off,
  or the package does not copy every file whatever its version
  (REINSTALLMODE amus);
- the summary's times are not the release's time.
"""
import datetime
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import zipfile

DLL, IN_SCRIPT, ROLLBACK, NO_IMPERSONATE, PROPERTY_SETTER = 1, 0x400, 0x100, 0x800, 51
IMMEDIATE, DEFERRED, UNDO, SETTER = "immediate", "deferred", "rollback", "setter"
ACTIONS = {
    "KeepGivenDir": SETTER, "KeepGivenJava": SETTER,
    "Prepare": IMMEDIATE, "CheckRunning": IMMEDIATE,
    "WriteJavaFile": DEFERRED, "LockFolder": DEFERRED, "RunSelfCheck": DEFERRED, "RemoveJavaFile": DEFERRED,
    "RestoreJavaFile": UNDO, "RestoreFolderSecurity": UNDO, "RestoreRemovedJavaFile": UNDO,
}
# Each change and the rollback action right before it.
UNDOES = {"WriteJavaFile": "RestoreJavaFile", "LockFolder": "RestoreFolderSecurity",
          "RemoveJavaFile": "RestoreRemovedJavaFile"}
ORDER = [
    ["KeepGivenDir", "KeepGivenJava", "AppSearch", "Prepare", "CheckRunning", "CostFinalize", "InstallValidate",
     "InstallInitialize", "RemoveExistingProducts", "RemoveJavaFile", "RemoveFiles", "InstallFiles",
     "WriteJavaFile", "LockFolder", "RunSelfCheck", "InstallFinalize"],
    ["FindRelatedProducts", "LaunchConditions", "Prepare"],
    ["WriteRegistryValues", "RunSelfCheck"],
]
# A removal is REMOVE of every feature, or of the package's one, Module.
INSTALLING, REMOVING = 'NOT (REMOVE~="ALL" OR REMOVE~="Module")', 'REMOVE~="ALL" OR REMOVE~="Module"'
CONDITIONS = {"WriteJavaFile": INSTALLING, "LockFolder": INSTALLING, "RunSelfCheck": INSTALLING,
              "RemoveJavaFile": REMOVING, "Prepare": "", "CheckRunning": ""}


def table(package, name):
    """The rows of a table as lists of fields (msiinfo's three header lines off)."""
    text = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True,
                          text=True).stdout
    return [line.split("\t") for line in text.split("\r\n" if "\r\n" in text else "\n")[3:] if line]


def exports(objdump, dll):
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    names = set()
    listing = False
    for line in text.splitlines():
        if "[Ordinal/Name Pointer] Table" in line:
            listing = True
        elif listing and re.match(r"^\s+\[\s*\d+\]\s+\S+", line):
            names.add(line.split()[-1])
        elif listing and line.strip() == "":
            listing = False
    return names


def main(package, zip_path, setup_dll, arch, objdump, epoch):
    problems = []
    work = tempfile.mkdtemp(prefix="package-check.")

    files = {row[0]: row for row in table(package, "File")}  # File, Component_, FileName, ...
    components = {row[0]: row for row in table(package, "Component")}  # Component, Id, Directory_, Attributes
    with zipfile.ZipFile(zip_path) as archive:
        entries = {name: archive.read(name) for name in archive.namelist()}
    names = {row[2].split("|")[-1]: row for row in files.values()}
    if set(names) != set(entries):
        problems.append("installs %s, the release ZIP holds %s" % (sorted(names), sorted(entries)))
    owners = [row[1] for row in files.values()]
    if len(set(owners)) != len(owners):
        problems.append("two files share a component: %s" % sorted(owners))
    for name, row in sorted(names.items()):
        component = components.get(row[1])
        if component is None or component[2] != "INSTALLDIR":
            problems.append("%s is not installed into INSTALLDIR" % name)
        elif arch == "x64" and not int(component[3]) & 256:
            problems.append("%s's component is not 64-bit" % name)
    subprocess.run(["msiextract", "-C", work + "/cab", package], check=True, capture_output=True)
    for name, data in sorted(entries.items()):
        found = [os.path.join(d, name) for d, _, fs in os.walk(work + "/cab") if name in fs]
        if len(found) != 1 or open(found[0], "rb").read() != data:
            problems.append("%s in the cabinet is not the release ZIP's, byte for byte" % name)

    binary = work + "/imsetup.dll"
    with open(binary, "wb") as out:
        out.write(subprocess.run(["msiinfo", "extract", package, "Binary.imsetup"], check=True,
                                 capture_output=True).stdout)
    if hashlib.sha256(open(binary, "rb").read()).digest() != hashlib.sha256(open(setup_dll, "rb").read()).digest():
        problems.append("the Binary table's imsetup is not the imsetup.dll built")
    entries_of_dll = exports(objdump, binary)

    actions = {row[0]: row for row in table(package, "CustomAction")}  # Action, Type, Source, Target
    if set(actions) != set(ACTIONS):
        problems.append("custom actions %s, expected %s" % (sorted(actions), sorted(ACTIONS)))
    for name, role in sorted(ACTIONS.items()):
        row = actions.get(name)
        if row is None:
            continue
        kind = int(row[1])
        if role == SETTER:
            if kind & 0x3F != PROPERTY_SETTER:
                problems.append("%s has type %d, not a property setter (51)" % (name, kind))
            continue
        if kind & 0x3F != DLL or row[2] != "imsetup":
            problems.append("%s has type %d from %s, not a DLL action from imsetup" % (name, kind, row[2]))
        if row[3] not in entries_of_dll:
            problems.append("%s calls %s, which imsetup.dll (%s) does not export: %s"
                            % (name, row[3], arch, sorted(entries_of_dll)))
        script = bool(kind & IN_SCRIPT)
        wanted = {IMMEDIATE: (False, False), DEFERRED: (True, False), UNDO: (True, True)}[role]
        if (script, bool(kind & ROLLBACK)) != wanted:
            problems.append("%s has type %d, not %s" % (name, kind, role))
        if role != IMMEDIATE and not kind & NO_IMPERSONATE:
            problems.append("%s impersonates the user (type %d): it changes what only an administrator may"
                            % (name, kind))

    sequence = {row[0]: (int(row[2]), row[1]) for row in table(package, "InstallExecuteSequence")}
    for chain in ORDER:
        present = [name for name in chain if name in sequence]
        if present != chain:
            problems.append("InstallExecuteSequence lacks %s" % sorted(set(chain) - set(present)))
        numbers = [sequence[name][0] for name in present]
        if numbers != sorted(numbers) or len(set(numbers)) != len(numbers):
            problems.append("out of order: %s" % ", ".join("%s %d" % (n, sequence[n][0]) for n in present))
    for change, undo in sorted(UNDOES.items()):
        if change in sequence and undo in sequence:
            if sequence[undo][0] != sequence[change][0] - 1:
                problems.append("%s (%d) is not right before %s (%d)"
                                % (undo, sequence[undo][0], change, sequence[change][0]))
            if sequence[undo][1] != sequence[change][1]:
                problems.append("%s runs under '%s', %s under '%s'"
                                % (undo, sequence[undo][1], change, sequence[change][1]))
        else:
            problems.append("no %s or %s in the sequence" % (change, undo))
    # With a user interface, AppSearch reads the remembered values over the
    # command line's in its own sequence first.
    ui = {row[0]: int(row[2]) for row in table(package, "InstallUISequence")}
    for keep in ("KeepGivenDir", "KeepGivenJava"):
        if keep not in ui or "AppSearch" not in ui or ui[keep] >= ui["AppSearch"]:
            problems.append("%s does not run before AppSearch in InstallUISequence: a repair or upgrade with a "
                            "user interface would take the remembered value over the command line's" % keep)
    for name, condition in sorted(CONDITIONS.items()):
        if name in sequence and sequence[name][1] != condition:
            problems.append("%s runs under '%s', not '%s'" % (name, sequence[name][1], condition))

    version = {row[0]: row[1] for row in table(package, "Property")}
    upgrade = {row[6]: row for row in table(package, "Upgrade")}  # Code, Min, Max, Lang, Attributes, Remove, Property
    newer, older = upgrade.get("NEWERFOUND"), upgrade.get("OLDERFOUND")
    product_version = version.get("ProductVersion")
    if not newer or newer[1] != product_version or newer[2] or int(newer[4]) & 0x102 != 0x2:
        problems.append("no row detecting only a newer version than %s: %s" % (product_version, newer))
    if not older or older[2] != product_version or int(older[4]) & 0x302 != 0x100:
        problems.append("no row upgrading an older version in place, up to %s excluded: %s"
                        % (product_version, older))
    if any(row[0] != version.get("UpgradeCode") for row in upgrade.values()):
        problems.append("an upgrade row names another upgrade code")
    secure = set(version.get("SecureCustomProperties", "").split(";"))
    for name in ("INSTALLDIR", "JAVA", "NEWERFOUND", "OLDERFOUND", "IMDAEMON_GIVEN_DIR", "IMDAEMON_GIVEN_JAVA"):
        if name not in secure:
            problems.append("%s is not among SecureCustomProperties (%s)" % (name, sorted(secure)))
    if version.get("MSIRESTARTMANAGERCONTROL") != "Disable":
        problems.append("the Restart Manager is not switched off")
    if version.get("REINSTALLMODE") != "amus":
        problems.append("REINSTALLMODE is %s, not amus: a file of the same version would be kept"
                        % version.get("REINSTALLMODE"))

    summary = subprocess.run(["msiinfo", "suminfo", package], check=True, capture_output=True, text=True).stdout
    moment = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).strftime("%a %b %e %H:%M:%S %Y")
    for field in ("Created", "Last saved"):
        said = re.search(r"^%s: (.*)$" % field, summary, re.M)
        # msiinfo prints local time: read it in UTC.
        if not said or said.group(1).strip() != moment:
            problems.append("summary %s: %s, not the release time %s"
                            % (field, said.group(1) if said else "none", moment))

    print("%s (%s): files %s; actions %s" % (package, arch, " ".join(sorted(names)),
                                            ", ".join("%s %s" % (a, actions[a][1]) for a in sorted(actions))))
    for problem in problems:
        print("FAIL: %s" % problem)
    print("PASS" if not problems else "FAIL")
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 7:
        print(__doc__.strip().splitlines()[2].strip())
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
