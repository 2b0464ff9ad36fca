#!/usr/bin/env bash
# reproducible.sh (scripts/package --check): the release of the last commit, built in two fresh
# clones in different folders with different umasks and time zones, must match to the bit. Names
# each file that differs, and shows why with diffoscope where it is installed.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
builds=("$work/a" "$work/other/deeper/b")
for i in 0 1; do
    git clone -q "$repo" "${builds[i]}" || exit 1
    echo "reproducible: building in ${builds[i]}"
    masks=(022 077)
    zones=(America/New_York Asia/Shanghai)
    (cd "${builds[i]}" && umask "${masks[i]}" && sleep $((i * 2)) &&
        TZ=${zones[i]} scripts/package --base-url "https://example.invalid/vossel/$(tr -d "[:space:]" <VERSION)") || exit 1
done
failures=0
a=${builds[0]}/build/dist b=${builds[1]}/build/dist
for file in $(cd "$a" && find . -type f | sort); do
    if ! cmp -s "$a/$file" "$b/$file"; then
        echo "FAIL $file differs between the two builds"
        failures=$((failures + 1))
        command -v diffoscope >/dev/null && diffoscope "$a/$file" "$b/$file" | head -n 60
    fi
done
# Each exe's PE time stamp (the file header's third field) is the commit's time, not the build's.
epoch=$(git -C "$repo" log -1 --format=%ct)
for exe in "$a"/../windows-x86/Vossel.exe "$a"/../windows-x64/Vossel.exe; do
    stamp=$(od -An -tu4 -j$(($(od -An -tu4 -j60 -N4 "$exe") + 8)) -N4 "$exe" | tr -d ' ')
    if [[ $stamp != "$epoch" ]]; then
        echo "FAIL $exe has the PE time stamp $stamp, not the commit's $epoch"
        failures=$((failures + 1))
    fi
done
((failures == 0)) && echo "reproducible: both builds of $(git -C "$repo" rev-parse --short HEAD) match ($(cd "$a" && find . -type f | wc -l) files)"
((failures == 0))
