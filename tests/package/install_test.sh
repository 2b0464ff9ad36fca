#!/usr/bin/env bash
# install_test.sh SETUP.EXE X64_EXE: the setup program end to end under Wine, in a new 64-bit
# prefix of its own (build/package-prefix, made again on every run): a silent install, a second
# one over it with auto-start off while the program runs, and a silent uninstall after which
# nothing of Vossel is left. Wine grants every write to HKLM, so elevation is not tested here.
# Then the portable zip's copy: "/autostart off" removes this user's entry for that copy alone.
set -uo pipefail
setup=$(realpath "$1")
x64_exe=$(realpath "$2")
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
version=$(tr -d '[:space:]' <"$repo/VERSION")

export VOSSEL_WINEPREFIX=$repo/build/package-prefix
rm -rf "$VOSSEL_WINEPREFIX"
# shellcheck source=scripts/wine-env
source "$repo/scripts/wine-env" || exit 1
log=$repo/build/logs/package-install-wine.log
mkdir -p "$(dirname "$log")"
: >"$log"
finish() {
    timeout 60 "$VOSSEL_WINESERVER" -k >/dev/null 2>&1 || true
    vossel_stop_xvfb
}
trap finish EXIT

failures=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}
equals() {
    [[ $1 == "$2" ]] || { echo "     got [$1], expected [$2]"; return 1; }
}

# Wine's own processes must not hold ctest's output open: the calls that may start them write to
# the log; only reg, with the prefix already up, writes to a pipe of ours.
wine_() { "$VOSSEL_WINE" "$@" </dev/null >>"$log" 2>&1; }
wine_out() { "$VOSSEL_WINE" "$@" </dev/null 2>>"$log"; }
# reg_data VIEW KEY NAME: the data of one value, or nothing (and failure) when it is absent.
reg_data() {
    local out
    out=$(wine_out reg query "$2" /v "$3" /reg:"$1") || return 1
    tr -d '\r' <<<"$out" | sed -n "s/^    $3    REG_[A-Z_]*    //p"
}
absent() { ! reg_data "$@" >/dev/null; }

drive_c=$WINEPREFIX/drive_c
dir='C:\Program Files\Vossel'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
user_run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
approved_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved'
user_approved_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vossel'
eventlog_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Vossel'
start_menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"

echo "creating the Wine prefix $WINEPREFIX"
vossel_prefix_init >>"$log" 2>&1 || { echo "FAIL the Wine prefix could not be made"; exit 1; }

uninstall_entries() {
    wine_out reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:"$1" |
        tr -d '\r' | grep -c '^    DisplayName    REG_SZ    Vossel$'
}
shortcuts() { find "$drive_c" -iname '*vossel*.lnk' | wc -l; }

echo "-- silent install"
wine_ "$setup" /S
check "the setup program exits with 0" equals "$?" 0
check "the 64-bit exe is installed on 64-bit Windows" cmp -s "$x64_exe" "$drive_c/Program Files/Vossel/Vossel.exe"
check "the uninstaller and both licences are installed" test -f "$drive_c/Program Files/Vossel/uninstall.exe" \
    -a -f "$drive_c/Program Files/Vossel/LICENSE.txt" -a -f "$drive_c/Program Files/Vossel/DSEG-LICENSE.txt"
check "nothing goes to the 32-bit Program Files" test ! -e "$drive_c/Program Files (x86)/Vossel"
check "the Start-menu shortcut points at the exe" \
    grep -aqF 'Program Files\Vossel\Vossel.exe' "$start_menu/Vossel.lnk"
check "Run entry: the quoted path, in the 64-bit view" \
    equals "$(reg_data 64 "$run_key" Vossel)" "\"$dir\\Vossel.exe\""
check "no Run entry in the 32-bit view" absent 32 "$run_key" Vossel
check "DisplayName" equals "$(reg_data 64 "$uninstall_key" DisplayName)" Vossel
check "DisplayVersion" equals "$(reg_data 64 "$uninstall_key" DisplayVersion)" "$version"
check "Publisher" equals "$(reg_data 64 "$uninstall_key" Publisher)" Vossel
check "DisplayIcon" equals "$(reg_data 64 "$uninstall_key" DisplayIcon)" "$dir\\Vossel.exe,0"
check "InstallLocation" equals "$(reg_data 64 "$uninstall_key" InstallLocation)" "$dir"
check "UninstallString" equals "$(reg_data 64 "$uninstall_key" UninstallString)" "\"$dir\\uninstall.exe\""
check "QuietUninstallString" \
    equals "$(reg_data 64 "$uninstall_key" QuietUninstallString)" "\"$dir\\uninstall.exe\" /S"
check "NoModify and NoRepair" equals \
    "$(reg_data 64 "$uninstall_key" NoModify) $(reg_data 64 "$uninstall_key" NoRepair)" "0x1 0x1"
size=$(($(reg_data 64 "$uninstall_key" EstimatedSize)))
exe_kib=$(($(stat -c %s "$x64_exe") / 1024))
check "EstimatedSize covers the exe, in KiB ($size)" test "$size" -ge "$exe_kib" -a "$size" -lt $((exe_kib * 2))
check "the Uninstall key is in the 64-bit view only" equals "$(uninstall_entries 32)" 0
check "event source: EventMessageFile is the installed exe, REG_EXPAND_SZ; TypesSupported 7" equals \
    "$(reg_data 64 "$eventlog_key" EventMessageFile) $(wine_out reg query "$eventlog_key" /v EventMessageFile |
        grep -c REG_EXPAND_SZ) $(reg_data 64 "$eventlog_key" TypesSupported)" "$dir\\Vossel.exe 1 0x7"

"$VOSSEL_WINE" "$dir\\Vossel.exe" </dev/null >>"$log" 2>&1 &
vossel=$!
check "the installed exe shows its main window" \
    timeout 60 xdotool search --sync --onlyvisible --name '^Vossel$' >/dev/null

echo "-- silent install over it, with auto-start off, while the installed exe runs"
wine_ "$setup" /S /AUTOSTART=0
check "the setup program exits with 0" equals "$?" 0
wait "$vossel"
check "the exe is the new one" cmp -s "$x64_exe" "$drive_c/Program Files/Vossel/Vossel.exe"
check "the event source stays" equals "$(reg_data 64 "$eventlog_key" EventMessageFile)" "$dir\\Vossel.exe"
check "one Uninstall entry" equals "$(uninstall_entries 64) $(uninstall_entries 32)" "1 0"
check "the two shortcuts, once each" equals "$(shortcuts)" 2
check "the Run entry is gone" absent 64 "$run_key" Vossel
check "a bad /AUTOSTART is refused" equals "$(wine_ "$setup" /S /AUTOSTART=yes; echo $?)" 87
wine_ "$setup" /S
check "an upgrade without /AUTOSTART keeps start at log-on off" absent 64 "$run_key" Vossel

echo "-- silent uninstall"
# What the program, a 32-bit copy of it in the same folder, an older copy in the user's key and
# Task Manager's Startup tab may have left, beside another program's entries that must stay.
for view in 64 32; do
    wine_ reg add "$run_key" /v Vossel /d "\"$dir\\Vossel.exe\"" /f /reg:$view
done
wine_ reg add "$user_run_key" /v Vossel /d "\"$dir\\Vossel.exe\"" /f
for key in "$approved_key\\Run" "$approved_key\\Run32" "$user_approved_key\\Run"; do
    wine_ reg add "$key" /v Vossel /t REG_BINARY /d 030000000000000000000000 /f /reg:64
done
wine_ reg add "$run_key" /v Other /d 'C:\other.exe' /f /reg:64
wine_ reg add "$approved_key\\Run" /v Other /t REG_BINARY /d 020000000000000000000000 /f /reg:64

quiet=$(reg_data 64 "$uninstall_key" QuietUninstallString)
if [[ $quiet =~ ^\"([^\"]+)\"\ (.*)$ ]]; then
    # shellcheck disable=SC2086 # the arguments are words
    wine_ "${BASH_REMATCH[1]}" ${BASH_REMATCH[2]}
    check "the uninstaller exits with 0" equals "$?" 0
else
    check "QuietUninstallString has the form \"exe\" args" false
fi
# The uninstaller runs on from a copy of itself: wait until the prefix is idle and written out.
timeout 300 "$VOSSEL_WINESERVER" -w
leftovers=$(find "$drive_c" -iname '*vossel*')
check "no file or folder of Vossel is left" equals "$leftovers" ""
check "no registry key or value of Vossel is left" \
    equals "$(grep -il vossel "$WINEPREFIX"/*.reg)" ""
wine_ cmd /c exit
check "other programs' Run entry and record stay" \
    equals "$(reg_data 64 "$run_key" Other) $(reg_data 64 "$approved_key\\Run" Other)" \
    "C:\\other.exe 020000000000000000000000"

echo "-- a portable copy removed with /autostart off, unelevated, also by another path to it"
# Laid out as Scoop does: the version's folder, and "current" leading to it.
portable="C:\\Vossel portable\\$version"
mkdir -p "$drive_c/Vossel portable/$version"
unzip -q "$(dirname "$setup")/Vossel-$version-portable.zip" -d "$drive_c/Vossel portable/$version"
# autostart_off ENTRY: registers ENTRY with a record that switched it off, then runs the copy's
# "/autostart off"; prints its exit code and what is left of the entry and of the record.
autostart_off() {
    wine_ reg add "$user_run_key" /v Vossel /d "$1" /f
    wine_ reg add "$user_approved_key\\Run" /v Vossel /t REG_BINARY /d 030000000000000000000000 /f
    wine_ "$portable\\x64\\Vossel.exe" /autostart off
    echo "$? $(reg_data 64 "$user_run_key" Vossel) $(reg_data 64 "$user_approved_key\\Run" Vossel)"
}
check "this copy's entry and its record go; exit code 0" \
    equals "$(autostart_off "\"$portable\\x64\\Vossel.exe\"")" "0  "
check "another copy's entry and its record stay" equals "$(autostart_off '"C:\Tools\Vossel.exe"')" \
    "0 \"C:\\Tools\\Vossel.exe\" 030000000000000000000000"
# Wine's cmd makes no junction; Wine follows a Unix symbolic link as Windows follows a junction.
ln -s "$version" "$drive_c/Vossel portable/current"
check "an entry that names this copy through a link to its folder goes (Scoop's \"current\")" \
    equals "$(autostart_off '"C:\Vossel portable\current\x64\Vossel.exe"')" "0  "
check "the portable copy writes nothing machine-wide" absent 64 "$run_key" Vossel
wine_ reg delete "$user_run_key" /v Vossel /f
wine_ reg delete "$user_approved_key\\Run" /v Vossel /f

if ((failures)); then
    echo "$failures check(s) failed; Wine's output: $log"
    exit 1
fi
echo "all checks passed"
