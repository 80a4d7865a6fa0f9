#!/usr/bin/env bash
# Keeps the layers: a file may include from its own folder and the folders
# below it, never from one above, in this order:
#   sdk/ < core/ < engine/ < modules/ < editor/ < shell/ < tools/
# Tests, benchmarks and fuzzers (any tests/, bench/ or fuzz/ folder) may
# include anything, and nothing outside them may include them.
# Prints each include that points up and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(sdk core engine modules editor shell tools)
rank() {
    local i
    for i in "${!layers[@]}"; do
        if [ "${layers[$i]}" = "$1" ]; then
            echo "$i"
            return
        fi
    done
    case "$1" in
    tests | bench) echo 99 ;;
    *) echo -1 ;;
    esac
}

found=0
while IFS= read -r -d '' file; do
    case "/$file" in
    */tests/* | */bench/* | */fuzz/*) continue ;;
    esac
    own=$(rank "${file%%/*}")
    [ "$own" -ge 0 ] || continue
    while IFS=: read -r line target; do
        to=$(rank "${target%%/*}")
        if [ "$to" -gt "$own" ]; then
            echo "$file:$line: includes $target, from a folder above its own" >&2
            found=1
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][^">]*[">]' "$file" |
             sed -E 's/^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">].*/\1:\2/')
done < <(git ls-files -z -- '*.h' '*.hpp' '*.cpp' '*.c' '*.inc')

if [ "$found" -ne 0 ]; then
    echo "check-layers: includes point up (order: ${layers[*]}; tests, bench and fuzz may include anything)" >&2
    exit 1
fi
echo "check-layers: every include points down"
