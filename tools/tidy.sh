#!/usr/bin/env bash
# Runs clang-tidy 14 with the checks of .clang-tidy over every source file of
# src/ and fails, listing them, when it finds anything that the "accept" lines
# of .clang-tidy do not name. Takes a few CPU minutes.
#   tools/tidy.sh            one clang-tidy at a time
#   tools/tidy.sh -j 4       four at a time
#   tools/tidy.sh src/sound  only the files under src/sound
# Reads build/compile_commands.json, configuring build/ first when it is missing.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

jobs=1
if [ "${1:-}" = "-j" ] && [ -n "${2:-}" ]; then
    jobs=$2
    shift 2
fi
only=${1:-src/}

tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
runner=$(command -v run-clang-tidy-14 || command -v run-clang-tidy)
if [ -z "$tidy" ] || [ -z "$runner" ]; then
    echo "clang-tidy 14 is needed (Debian: apt-get install clang-tidy)" >&2
    exit 2
fi

if [ ! -f build/compile_commands.json ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 2
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$runner" -clang-tidy-binary "$tidy" -p build -j "$jobs" -quiet -header-filter="^$root/src/" "^$root/${only#./}.*\.cpp$" \
    >"$log" 2>&1
status=$?
# The runner always asks for colours; the findings are read without them.
sed -i 's/\x1b\[[0-9;]*m//g' "$log"

# One finding per line, "file:line:col: warning: text [check]", each once
# (a header's findings come again with every file that includes it).
mapfile -t findings < <(grep -E '^/.*:[0-9]+:[0-9]+: (warning|error):' "$log" | sed "s#^$root/##" | sort -u)

# An accept line names a file, a check and a piece of the flagged line.
accepted() {
    local file=$1 line=$2 check=$3 text
    text=$(sed -n "${line}p" "$file" 2>/dev/null)
    while read -r _ _ afile acheck rest; do
        local piece=${rest#\"}
        piece=${piece%%\"*}
        if [ "$afile" = "$file" ] && [ "$acheck" = "$check" ] && [[ "$text" == *"$piece"* ]]; then
            return 0
        fi
    done < <(grep -E '^#[[:space:]]+accept ' .clang-tidy)
    return 1
}

reported=()
for finding in "${findings[@]}"; do
    file=${finding%%:*}
    rest=${finding#*:}
    line=${rest%%:*}
    check=$(sed -E 's/.*\[([^]]+)\]$/\1/' <<<"$finding")
    accepted "$file" "$line" "$check" || reported+=("$finding")
done

if [ ${#reported[@]} -gt 0 ]; then
    printf '%s\n' "${reported[@]}"
    echo "clang-tidy: ${#reported[@]} finding(s); fix them or accept them with a reason in .clang-tidy" >&2
    exit 1
fi
if [ $status -ne 0 ]; then
    # clang-tidy itself failed (a file that does not compile, say): show why.
    grep -vE '^(clang-tidy|Running|[0-9]+ warnings? generated)' "$log" | head -40 >&2
    echo "clang-tidy failed" >&2
    exit 2
fi
echo "clang-tidy: no findings in ${only} (${#findings[@]} accepted in .clang-tidy)"
