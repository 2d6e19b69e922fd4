#!/usr/bin/env bash
# The Windows Installer package under Wine's msiexec, in a Wine prefix made
# fresh for the run, as an administrator runs it silently with a log:
# - every refusal (JAVA missing on a first install, relative, outside the
#   ANSI code page, not an existing file; INSTALLDIR missing or without the
#   application's archives) exits 1603 with its message in the log and
#   leaves the folder and the registry as they were;
# - a self-check that finds an error rolls the install back: the folder
#   holds what it held, its old java_file.dat included;
# - a module deployed by hand is taken over, its files replaced by the
#   release's and its launcher kept;
# - the install lays out the release ZIP's files byte for byte and
#   java_file.dat as the daemon reads it, imcheck finds nothing, and the
#   release's self-test passes against the installed folder;
# - while a process has the installed nodeflags.dll loaded, removal is
#   refused;
# - a higher version (built here from the same files) upgrades in place and
#   keeps INSTALLDIR and JAVA; the lower version is then refused; a repair
#   brings back a deleted file and a damaged one, and takes a new JAVA,
#   standing with imcheck's warnings in the log;
# - removal leaves the application's own files only.
# Wine reports an exit status modulo 256: 1603 arrives as 67.
# Usage: installer_test.sh <source dir> <package.msi> <release ZIP> <self-test ZIP> <imsetup.dll> <x64|x86>
#                          <work dir> <hold_module.exe>
set -uo pipefail
source_dir=$1 package=$2 zip=$3 selftest_zip=$4 setup_dll=$5 arch=$6 work=$7 hold=$8
run=$source_dir/cmake/wine-run
refused=67
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix
trap 'wineserver -k 2>/dev/null || true' EXIT
"$run" --init || { echo "FAIL: no Wine prefix could be made in $WINEPREFIX"; exit 1; }
c=$WINEPREFIX/drive_c
failures=0
case_failures=0
fail() { echo "FAIL: $case_name: $*"; failures=$((failures + 1)); }
# Each case ends with pass: PASS when it added no failure.
pass() {
    [ $failures -gt $case_failures ] || echo "PASS: $case_name"
    case_failures=$failures
}
unzip_to() { python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$1" "$2"; }

# The application and its runtimes: the Java stand-in as the launcher.
mkdir -p "$c/logs" "$c/My App" "$c/jre/bin" "$c/jre2/bin" "$c/badjre/bin" "$c/empty" "$c/Hand Made" "$c/selftest" "$work/zip"
unzip_to "$selftest_zip" "$c/selftest"
unzip_to "$zip" "$work/zip"
# Each runtime laid out where a launcher looks for it, and the platform's
# folder on the system's PATH, as on a station: imcheck checks both.
for jre in jre jre2 badjre; do
    mkdir -p "$c/$jre/bin/server" "$c/$jre/lib"
    cp "$c/selftest/stand-ins/javaapp.exe" "$c/$jre/bin/java.exe"
    echo MZ >"$c/$jre/bin/server/jvm.dll"
    echo JIMAGE >"$c/$jre/lib/modules"
done
mkdir -p "$c/NNM/bin"
cp "$c/selftest/stand-ins/ov.dll" "$c/selftest/stand-ins/ovw.dll" "$c/NNM/bin/"
"$run" reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v Path /t REG_EXPAND_SZ \
    /d 'C:\windows\system32;C:\windows;C:\windows\system32\wbem;C:\NNM\bin' /f >/dev/null 2>&1 ||
    { echo "FAIL: the system's PATH could not be set in $WINEPREFIX"; exit 1; }
# Windows looks in the launcher's folder first for the libraries the bridge
# loads: imcheck reports an ovw.dll there as an error.
cp "$c/selftest/stand-ins/ovw.dll" "$c/badjre/bin/ovw.dll"
echo "the application's archive" >"$c/My App/app.jar"
# An application whose own files carry the package's names, and one in a
# folder too long for the daemon.
mkdir -p "$c/Own Docs" "$c/$(printf 'L%.0s' {1..200})/$(printf 'l%.0s' {1..50})"
echo "archive" >"$c/Own Docs/app.jar"
echo "the application's own notices" >"$c/Own Docs/THIRD-PARTY-NOTICES.txt"
echo "archive" >"$c/$(printf 'L%.0s' {1..200})/$(printf 'l%.0s' {1..50})/app.jar"
echo "the application's notes" >"$c/My App/notes.txt"
application=$(cd "$c/My App" && ls | LC_ALL=C sort)

# msi <log name> <msiexec arguments...>: status and log of one run, silent
# unless ui names another level (/qr: the user interface's sequence runs too).
msi() {
    local name=$1
    shift
    log=$c/logs/$name.log
    status=0
    "$run" msiexec "$@" "${ui:-/qn}" /l*v "C:\\logs\\$name.log" >/dev/null 2>&1 || status=$?
}
said() { grep -aqF -- "$1" "$log" || fail "the log does not say: $1"; }
expect_status() { [ "$status" -eq "$1" ] || fail "msiexec exit status $status, not $1 (log: $log)"; }
# Every file below a folder with its SHA-256 (the installer's logs aside).
snapshot() { (cd "$1" && find . -path ./logs -prune -o -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum); }
remembered() { "$run" reg query 'HKLM\Software\imdaemon' >/dev/null 2>&1; }
package_msi='Z:'${package//\//\\}

# Refusals, before anything is installed.
before=$(snapshot "$c")
while IFS='|' read -r case_name properties message; do
    eval "properties=($properties)"
    msi refusal /i "$package_msi" "${properties[@]}"
    expect_status $refused
    said "$message"
    [ "$(snapshot "$c")" = "$before" ] || fail "the drive changed: $(diff <(echo "$before") <(snapshot "$c") | head -5)"
    ! remembered || fail "HKLM\\Software\\imdaemon was left"
    pass
done <<'CASES'
no INSTALLDIR|'JAVA=C:\jre\bin\java.exe'|INSTALLDIR is not set
no archives in INSTALLDIR|'INSTALLDIR=C:\empty\' 'JAVA=C:\jre\bin\java.exe'|holds no application archive (*.jar)
INSTALLDIR missing|'INSTALLDIR=C:\no such folder\' 'JAVA=C:\jre\bin\java.exe'|is not an existing folder
no JAVA on a first install|'INSTALLDIR=C:\My App\'|JAVA is not set, and C:\My App\java_file.dat names no existing launcher
relative JAVA|'INSTALLDIR=C:\My App\' 'JAVA=jre\bin\java.exe'|JAVA "jre\bin\java.exe" is not an absolute path
JAVA outside the ANSI code page|'INSTALLDIR=C:\My App\' 'JAVA=C:\jrē\bin\java.exe'|holds characters the system's ANSI code page cannot represent
JAVA not a file|'INSTALLDIR=C:\My App\' 'JAVA=C:\jre\bin\javaw.exe'|JAVA "C:\jre\bin\javaw.exe" is not an existing file
JAVA a folder|'INSTALLDIR=C:\My App\' 'JAVA=C:\jre\bin'|JAVA "C:\jre\bin" is not an existing file
INSTALLDIR as a \\?\ path|'INSTALLDIR=\\?\C:\My App\' 'JAVA=C:\jre\bin\java.exe'|is a \\?\ or device path, which the daemon's ANSI calls do not take as written
the application's own file of a package's name|'INSTALLDIR=C:\Own Docs\' 'JAVA=C:\jre\bin\java.exe'|holds THIRD-PARTY-NOTICES.txt, but no imdaemon.exe: it is not the module's
INSTALLDIR longer than the daemon takes|'INSTALLDIR=C:\LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL\llllllllllllllllllllllllllllllllllllllllllllllllll\' 'JAVA=C:\jre\bin\java.exe'|bytes long in the ANSI code page, more than the 246 the daemon takes
brackets in INSTALLDIR, written as they are|'INSTALLDIR=C:\a[JAVA]b\' 'JAVA=C:\jre\bin\java.exe'|INSTALLDIR "C:\a[JAVA]b\" is not an existing folder
CASES

case_name="a self-check error rolls the install back"
printf 'C:\\old\\bin\\java.exe\r\n' >"$c/My App/java_file.dat"
before=$(snapshot "$c/My App")
msi rolled-back /i "$package_msi" 'INSTALLDIR=C:\My App\' 'JAVA=C:\badjre\bin\java.exe'
expect_status $refused
said "imdaemon: imcheck: error:"
said "the self-check found errors"
said "rolled back: C:\\My App\\java_file.dat holds what it held before"
said "rolled back: \"C:\\My App\\\" has its previous owner and permissions"
[ "$(snapshot "$c/My App")" = "$before" ] ||
    fail "the folder is not as it was: $(diff <(echo "$before") <(snapshot "$c/My App") | head -5)"
! remembered || fail "HKLM\\Software\\imdaemon was left"
rm "$c/My App/java_file.dat"
pass

case_name="a module deployed by hand is taken over, its launcher kept"
unzip_to "$zip" "$c/Hand Made"
echo "archive" >"$c/Hand Made/app.jar"
printf 'C:\\jre\\bin\\java.exe\r\n' >"$c/Hand Made/java_file.dat"
# A copy of another build of the same version: the package's own must
# replace it, whatever Windows Installer's file versions say.
echo "another build" >>"$c/Hand Made/imcheck.exe"
msi takeover /i "$package_msi" 'INSTALLDIR=C:\Hand Made\'
expect_status 0
for file in "$work"/zip/*; do
    cmp -s "$file" "$c/Hand Made/${file##*/}" || fail "${file##*/} is not the release ZIP's, byte for byte"
done
said "holds a module deployed by hand: the installer takes it over"
said "JAVA not given: keeping the launcher C:\\Hand Made\\java_file.dat names, C:\\jre\\bin\\java.exe"
said "self-check: imcheck found nothing"
msi takeover-removed /x "$package_msi"
expect_status 0
[ "$(cd "$c/Hand Made" && ls)" = "app.jar" ] || fail "removal left: $(cd "$c/Hand Made" && ls | tr '\n' ' ')"
pass

case_name="install with INSTALLDIR and JAVA"
# Written with forward slashes, which Windows takes for backslashes.
msi install /i "$package_msi" 'INSTALLDIR=C:/My App/' 'JAVA=C:/jre/bin/java.exe'
expect_status 0
for file in "$work"/zip/*; do
    cmp -s "$file" "$c/My App/${file##*/}" || fail "${file##*/} is not the release ZIP's, byte for byte"
done
[ "$(od -An -c "$c/My App/java_file.dat" | tr -s ' ')" = "$(printf 'C:\\jre\\bin\\java.exe\r\n' | od -An -c | tr -s ' ')" ] ||
    fail "java_file.dat holds: $(od -c "$c/My App/java_file.dat" | head -3)"
said "imdaemon: wrote C:\\My App\\java_file.dat: C:\\jre\\bin\\java.exe"
said "imdaemon: self-check: \"C:\\My App\\imcheck.exe\" C:\\My%20App\\"
said "self-check: imcheck found nothing"
remembered || fail "INSTALLDIR and JAVA are not remembered"
pass

case_name="the release's self-test passes against the installed folder"
output=$("$run" 'C:\selftest\imselftest.exe' 'C:\My App' 2>&1)
status=$?
[ $status -eq 0 ] && grep -q '^selftest passed' <<<"$output" || { echo "$output"; fail "imselftest exit status $status"; }
pass

case_name="removal refused while nodeflags.dll is loaded, by its short path"
before=$(snapshot "$c/My App")
coproc holder { "$run" "$hold" 'C:\selftest\stand-ins' 'C:\My App\nodeflags.dll' short 2>&1; }
line=""
read -r line <&"${holder[0]}"
line=${line%$'\r'}
# The module as the process knows it is named otherwise than the package
# names it: only the file itself can tell they are one.
case "$line" in
    "loaded C:\My App\nodeflags.dll") fail "the holder loaded the long path: no short name to test with" ;;
    "loaded "*) ;;
    *) fail "the holder said: $line" ;;
esac
msi running /x "$package_msi"
expect_status $refused
said "C:\\My App\\nodeflags.dll is loaded in"
said "stop the module through the NNM process manager (ovspmd) first"
exec {holder[1]}>&-
wait "$holder_PID"
[ "$(snapshot "$c/My App")" = "$before" ] || fail "the folder changed"
pass

case_name="a higher version upgrades in place, keeping INSTALLDIR and JAVA"
higher=$work/higher.msi
"$source_dir/installer/build-msi" "$higher" "$arch" 9.9.9 0 "$setup_dll" "$zip" "$source_dir/installer/imdaemon.wxs" ||
    fail "no package of version 9.9.9 was built"
higher_msi='Z:'${higher//\//\\}
msi upgrade /i "$higher_msi"
expect_status 0
said "imdaemon: wrote C:\\My App\\java_file.dat: C:\\jre\\bin\\java.exe"
! grep -aq "deployed by hand" "$log" || fail "the upgrade took the installed version for a module deployed by hand"
said "self-check: imcheck found nothing"
for file in "$work"/zip/*; do
    cmp -s "$file" "$c/My App/${file##*/}" || fail "${file##*/} is not there after the upgrade"
done
pass

case_name="the lower version is refused once the higher is installed"
before=$(snapshot "$c/My App")
msi downgrade /i "$package_msi" 'INSTALLDIR=C:\My App\' 'JAVA=C:\jre\bin\java.exe'
expect_status $refused
said "a newer version of imdaemon (9.9.9) is installed: remove it first to install this older one (1.1.0)"
[ "$(snapshot "$c/My App")" = "$before" ] || fail "the folder changed"
pass

case_name="a repair or upgrade does not move the module to another folder"
mkdir -p "$c/Other"
echo "archive" >"$c/Other/app.jar"
before=$(snapshot "$c")
msi moved /i "$higher_msi" REINSTALL=ALL REINSTALLMODE=amus 'INSTALLDIR=C:\Other\'
expect_status $refused
said "INSTALLDIR \"C:\\Other\\\" is not the folder the module is installed in, \"C:\\My App\\\""
[ "$(snapshot "$c")" = "$before" ] || fail "the drive changed: $(diff <(echo "$before") <(snapshot "$c") | head -5)"
pass

case_name="a repair brings back a deleted file and a damaged one, and takes a new JAVA"
# With the user interface's sequence, which reads the remembered values
# over the command line's before the install runs.
# Everyone may add files to the new launcher's folder (Wine reads the Unix
# mode bits as Everyone's rights): imcheck warns, and the repair stands.
chmod 0777 "$c/jre2/bin"
rm "$c/My App/imcheck.exe"
head -c 4096 "$work/zip/nodeflags.dll" >"$c/My App/nodeflags.dll"
ui=/qr msi repair /i "$higher_msi" REINSTALL=ALL REINSTALLMODE=amus 'JAVA=C:\jre2\bin\java.exe'
expect_status 0
cmp -s "$work/zip/imcheck.exe" "$c/My App/imcheck.exe" || fail "imcheck.exe is not back"
cmp -s "$work/zip/nodeflags.dll" "$c/My App/nodeflags.dll" || fail "nodeflags.dll is not whole again"
[ "$(cat "$c/My App/java_file.dat")" = $'C:\\jre2\\bin\\java.exe\r' ] ||
    fail "java_file.dat holds: $(cat "$c/My App/java_file.dat")"
said "imdaemon: imcheck: warning:"
said "self-check: imcheck found warnings only (above); the install stands"
pass

case_name="removal leaves the application's files only"
msi remove /x "$higher_msi"
expect_status 0
said "imdaemon: removed C:\\My App\\java_file.dat"
[ "$(cd "$c/My App" && ls | LC_ALL=C sort)" = "$application" ] ||
    fail "the folder holds: $(cd "$c/My App" && ls | tr '\n' ' ')"
! remembered || fail "HKLM\\Software\\imdaemon was left"
pass

[ $failures -eq 0 ] && echo "PASS: the package installs, refuses, rolls back, upgrades, repairs and removes under Wine"
exit $((failures > 0))
