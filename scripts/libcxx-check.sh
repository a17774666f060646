#!/usr/bin/env bash
# `make libcxx`: every C++ source of the build (program, tools, tests, benchmarks) compiled with
# clang against libc++, as Apple ships it, syntax only: a libstdc++-only feature fails here
# before it reaches a Mac. Then every source with a platform branch (Q_OS_DARWIN, __APPLE__,
# Q_OS_LINUX... in it or in a header of ours it includes) once more as on macOS: forced in first,
# cmake/darwin-check/darwin.h switches the platform macros to Darwin and declares what Darwin's
# standard headers add, and cmake/darwin-check/include holds the headers only Darwin has
# (clonefile, copyfile, malloc zones, xattr). Reads the compile commands of BUILD_DIR (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(uname -s)" != Linux ]; then
    echo "make libcxx: Linux only (on macOS the build itself compiles against libc++)."
    exit 0
fi
build_dir=${1:-build}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
clang=${CLANGXX:-$(command -v clang++-14 || command -v clang++ || true)}
if [ -z "$clang" ]; then
    echo "clang++ is missing: make libcxx installs it." >&2
    exit 1
fi
[ -f "$build_dir/compile_commands.json" ] || { echo "No $build_dir/compile_commands.json: run make first." >&2; exit 1; }

python3 - "$build_dir/compile_commands.json" "$clang" "$PWD" <<'PY' >"$build_dir/libcxx-commands.txt"
import json, os, re, shlex, sys
commands, clang, top = json.load(open(sys.argv[1])), sys.argv[2], sys.argv[3]
darwin = os.path.join(top, "cmake", "darwin-check")
platform = re.compile(r"\b(Q_OS_[A-Z0-9_]+|__APPLE__|__MACH__|__linux(__)?|__GLIBC__)\b")
include = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.M)

def branches(path, dirs, seen):
    """Whether the file, or a header of ours it includes, has a platform conditional."""
    if path in seen:
        return False
    seen.add(path)
    try:
        text = open(path, encoding="utf-8", errors="replace").read()
    except OSError:
        return False
    if platform.search(text):
        return True
    for name in include.findall(text):
        for d in [os.path.dirname(path)] + dirs:
            candidate = os.path.normpath(os.path.join(d, name))
            if os.path.isfile(candidate):
                if branches(candidate, dirs, seen):
                    return True
                break
    return False

seen = set()
for c in commands:
    src = c["file"]
    # Qt's generated sources say nothing about our code.
    if not src.startswith(top + "/") or "_autogen/" in src or "/.rcc/" in src or src in seen:
        continue
    seen.add(src)
    args = shlex.split(c["command"]) if "command" in c else c["arguments"]
    keep, skip, ours = [], False, []
    for a in args[1:]:
        if skip:
            skip = False
            continue
        if a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a in ("-c", "-MD", "-MMD") or a.startswith("-fsanitize") or a == "--":
            continue
        if a.startswith("-I") and a[2:].startswith(top + "/"):
            ours.append(a[2:])
        keep.append(a)
    base = [clang, "-stdlib=libc++", "-fsyntax-only", "-Wno-unused-command-line-argument"]
    print(shlex.join(["cd", c["directory"]]) + " && " + shlex.join(base + keep))
    if branches(src, ours, set()):
        print(shlex.join(["cd", c["directory"]]) + " && " + shlex.join(
            # A warning only a Mac would see (an unused function, say) counts here.
            base + ["-Werror", "-isystem", os.path.join(darwin, "include"),
                    "-include", os.path.join(darwin, "darwin.h")] + keep))
PY
total=$(wc -l <"$build_dir/libcxx-commands.txt")
failed=0
# One line per source; each runs in its own shell so a failure names its file.
tr '\n' '\0' <"$build_dir/libcxx-commands.txt" |
    xargs -0 -P "$jobs" -I{} bash -c '{} >/dev/null 2>&1' || failed=1
if [ "$failed" -ne 0 ]; then
    echo "libc++: some sources do not compile; rerunning them one by one:" >&2
    while IFS= read -r line; do
        as=""
        case $line in *darwin-check/darwin.h*) as=" (as on macOS)" ;; esac
        bash -c "$line" >/dev/null 2>&1 || { echo "--- ${line##* }$as" >&2; bash -c "$line" 2>&1 | grep -m 5 'error' >&2 || true; }
    done <"$build_dir/libcxx-commands.txt"
    exit 1
fi
darwin=$(grep -c 'darwin-check/darwin.h' "$build_dir/libcxx-commands.txt" || true)
echo "libc++: $((total - darwin)) sources compile with $($clang --version | head -n 1), $darwin of them also as on macOS"
