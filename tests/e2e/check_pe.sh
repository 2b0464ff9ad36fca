#!/usr/bin/env bash
# check_pe.sh EXE... : the headers of each Vossel.exe, read with objdump -p.
# Windows GUI subsystem; imports from Windows' own DLLs only (the runtime is linked in), never the
# common controls; the version record, the icon group and the manifest are present.
set -uo pipefail

failures=0
fail() {
    echo "FAIL $exe: $*"
    failures=$((failures + 1))
}

# Windows' own DLLs. The C runtime DLLs count: msvcrt ships with every Windows, and the
# universal runtime is reached through the api-ms-win-* sets.
system_dll='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|comctl32|shell32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'

# "type:name size" for every resource, from objdump's resource directory dump.
resources() {
    awk '
        /^[0-9a-f]+   Entry: ID: /       { type = $4; sub(",", "", type); next }
        /^[0-9a-f]+     Entry: ID: /     { name = $4; sub(",", "", name); next }
        /^[0-9a-f]+        Leaf: Addr: / { size = $6; sub(",", "", size); print type ":" name, size }
    ' <<<"$1"
}

for exe in "$@"; do
    if [[ ! -f $exe ]]; then
        fail "no such file"
        continue
    fi
    case $(od -An -tx1 -j"$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')" -N6 "$exe" | tr -d ' \n') in
    504500004c01) objdump=i686-w64-mingw32-objdump ;;
    *) objdump=x86_64-w64-mingw32-objdump ;;
    esac
    headers=$("$objdump" -p "$exe") || { fail "objdump -p failed"; continue; }

    grep -Eq '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' <<<"$headers" ||
        fail "subsystem is not Windows GUI: $(grep '^Subsystem' <<<"$headers")"

    mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
    ((${#dlls[@]} >= 2)) || fail "import table not found (${#dlls[@]} DLLs)"
    for dll in "${dlls[@]}"; do
        lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
        [[ $lower =~ $system_dll ]] || fail "imports $dll, which is not a Windows system DLL"
        # Every start would load the common controls, and with them the theme library, from the
        # search path as it is before WinMain restricts it (the exe's own folder first).
        [[ $lower == comctl32.dll ]] && fail "imports $dll: bind it late, as the list view does"
    done

    texts=$(strings -el "$exe")
    for text in Vossel.exe 080404B0 1.00 Vossel; do
        grep -qx -- "$text" <<<"$texts" || fail "the version record lacks \"$text\""
    done

    table=$(resources "$headers")
    # RT_GROUP_ICON 14, id 1; RT_ICON 3, id 30001 of 3240 bytes; RT_VERSION 16; RT_MANIFEST 24.
    grep -q '^0x00000e:0x000001 ' <<<"$table" || fail "no icon group 1"
    grep -qx '0x000003:0x007531 0x000ca8' <<<"$table" || fail "no icon image 30001 of 3240 bytes"
    grep -q '^0x000010:' <<<"$table" || fail "no version record"
    grep -q '^0x000018:0x000001 ' <<<"$table" || fail "no application manifest"

    echo "checked $exe: ${dlls[*]}"
done

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
