#!/usr/bin/env bash
# check_hardening.sh EXE... : how each Vossel.exe is hardened, read from its PE headers.
# ASLR (DYNAMIC_BASE, and HIGH_ENTROPY_VA for 64-bit), DEP (NX_COMPAT), no section both writable
# and executable, the stack protector linked in and used by the program's own objects, and the
# DLL search restricted through a looked-up SetDefaultDllDirectories rather than an import.
set -uo pipefail

failures=0
fail() {
    echo "FAIL $exe: $*"
    failures=$((failures + 1))
}

# Little-endian unsigned integer of $2 bytes at offset $1.
read_uint() {
    od -An -tu"$2" -j"$1" -N"$2" "$exe" | tr -d ' '
}

# "name characteristics" of every section, straight from the section table.
sections() {
    local pe count optional table i name flags
    pe=$(read_uint 60 4)
    count=$(read_uint $((pe + 6)) 2)
    optional=$(read_uint $((pe + 20)) 2)
    table=$((pe + 24 + optional))
    for ((i = 0; i < count; i++)); do
        name=$(dd if="$exe" bs=1 skip=$((table + 40 * i)) count=8 status=none | tr -d '\0')
        flags=$(read_uint $((table + 40 * i + 36)) 4)
        echo "$name $flags"
    done
}

for exe in "$@"; do
    if [[ ! -f $exe ]]; then
        fail "no such file"
        continue
    fi
    pe=$(read_uint 60 4)
    machine=$(read_uint $((pe + 4)) 2)
    case $machine in
    332) objdump=i686-w64-mingw32-objdump wide=0 ;;     # 0x14c
    34404) objdump=x86_64-w64-mingw32-objdump wide=1 ;; # 0x8664
    *)
        fail "not an x86 or x64 PE file (machine $machine)"
        continue
        ;;
    esac
    headers=$("$objdump" -p "$exe") || { fail "objdump -p failed"; continue; }

    characteristics=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$headers")
    required=(DYNAMIC_BASE NX_COMPAT)
    ((wide)) && required+=(HIGH_ENTROPY_VA)
    for flag in "${required[@]}"; do
        grep -qw "$flag" <<<"$characteristics" || fail "DllCharacteristics lacks $flag"
    done
    # The relocations that ASLR needs must still be there.
    grep -Eq '^Entry 5 [0-9a-f]+ [0-9a-f]*[1-9a-f][0-9a-f]* Base Relocation Directory' <<<"$headers" ||
        fail "no base relocations"

    while read -r name flags; do
        # IMAGE_SCN_MEM_EXECUTE 0x20000000, IMAGE_SCN_MEM_WRITE 0x80000000.
        if ((flags & 0x20000000 && flags & 0x80000000)); then
            fail "section $name is writable and executable"
        fi
    done < <(sections)

    imports=$(sed -n '/^[[:space:]]*DLL Name:/,$p' <<<"$headers")
    # The exe is stripped, but the stack protector's failure routine is linked in only when some
    # code calls it, and it is the one caller of RaiseFailFastException.
    grep -qw RaiseFailFastException <<<"$imports" ||
        fail "no stack protector failure routine linked in"
    # ...and the program's own objects are among the callers.
    build=$(dirname "$exe")
    for archive in libvossel_app.a libvossel_platform.a; do
        if [[ ! -f $build/$archive ]]; then
            [[ $(basename "$build") == fault-* ]] || fail "$archive not found beside the exe"
            continue
        fi
        symbols=$("$objdump" -t "$build/$archive")
        grep -q '__stack_chk_fail' <<<"$symbols" ||
            fail "no object of $archive is compiled with the stack protector"
    done

    grep -qw SetDefaultDllDirectories <<<"$imports" &&
        fail "SetDefaultDllDirectories is imported: the exe would not load where it is missing"
    grep -qx SetDefaultDllDirectories < <(strings -a "$exe") ||
        fail "SetDefaultDllDirectories is never looked up"
    grep -qw LoadLibraryExW <<<"$imports" ||
        fail "LoadLibraryExW is not imported: the late binder cannot restrict its search"

    echo "checked $exe"
done

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
