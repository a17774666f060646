#!/usr/bin/env bash
# `make libcxx`: every C++ source of the build (program, tools, tests, benchmarks) compiled with
# clang against libc++, as Apple ships it, syntax only: a libstdc++-only feature fails here
# before it reaches a Mac. Reads the compile commands of BUILD_DIR (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
clang=${CLANGXX:-$(command -v clang++-14 || command -v clang++ || true)}
if [ -z "$clang" ]; then
    echo "clang++ is missing: make libcxx installs it." >&2
    exit 1
fi
[ -f "$build_dir/compile_commands.json" ] || { echo "No $build_dir/compile_commands.json: run make first." >&2; exit 1; }

python3 - "$build_dir/compile_commands.json" "$clang" "$PWD" <<'PY' >"$build_dir/libcxx-commands.txt"
import json, shlex, sys
commands, clang, top = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3]
seen = set()
for c in commands:
    src = c["file"]
    # Qt's generated sources say nothing about our code.
    if not src.startswith(top + "/") or "_autogen/" in src or "/.rcc/" in src or src in seen:
        continue
    seen.add(src)
    args = shlex.split(c["command"]) if "command" in c else c["arguments"]
    keep, skip = [], False
    for a in args[1:]:
        if skip:
            skip = False
            continue
        if a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a in ("-c", "-MD", "-MMD") or a.startswith("-fsanitize") or a == "--":
            continue
        keep.append(a)
    print(shlex.join(["cd", c["directory"]]) + " && " +
          shlex.join([clang, "-stdlib=libc++", "-fsyntax-only", "-Wno-unused-command-line-argument"] + keep))
PY
total=$(wc -l <"$build_dir/libcxx-commands.txt")
failed=0
# One line per source; each runs in its own shell so a failure names its file.
tr '\n' '\0' <"$build_dir/libcxx-commands.txt" |
    xargs -0 -P "$jobs" -I{} bash -c '{} >/dev/null 2>&1' || failed=1
if [ "$failed" -ne 0 ]; then
    echo "libc++: some sources do not compile; rerunning them one by one:" >&2
    while IFS= read -r line; do
        bash -c "$line" >/dev/null 2>&1 || { echo "--- ${line##* }" >&2; bash -c "$line" 2>&1 | grep -m 5 'error' >&2 || true; }
    done <"$build_dir/libcxx-commands.txt"
    exit 1
fi
echo "libc++: $total sources compile with $($clang --version | head -n 1)"
