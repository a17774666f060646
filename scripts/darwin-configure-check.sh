#!/usr/bin/env bash
# `make darwin-configure` (also part of `make libcxx`): configures and generates the project as
# CMake does on a Mac (cmake/darwin-check/toolchain.cmake: CMAKE_SYSTEM_NAME Darwin, APPLE set,
# Apple's SDK answered by stubs), so that every CMake line a Mac evaluates is evaluated here, in
# src/, data/, tests/, bench/ and tools/. Then checks what the Mac build would make of it: the
# bundle's name, Info.plist, icon and install RPATH, and that the README, the install script and
# the macOS workflow agree on the Homebrew line. Nothing is compiled.
#   scripts/darwin-configure-check.sh [BUILD_DIR]    (the check's tree: BUILD_DIR/darwin-configure)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(uname -s)" != Linux ]; then
    echo "make darwin-configure: Linux only (on macOS the build itself configures for macOS)."
    exit 0
fi
top=$PWD
out=${1:-build}/darwin-configure
clang=${CLANGXX:-$(command -v clang++-14 || command -v clang++ || true)}
if [ -z "$clang" ]; then
    echo "clang++ is missing: make darwin-configure installs it." >&2
    exit 1
fi
failed=0
fail() {
    echo "darwin-configure: $*" >&2
    failed=1
}

rm -rf "$out"
mkdir -p "$out"
if ! cmake -S . -B "$out" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/darwin-check/toolchain.cmake" -DCMAKE_CXX_COMPILER="$clang" \
    >"$out/configure.log" 2>&1; then
    grep -v '^--' "$out/configure.log" >&2 || true
    echo "darwin-configure: configuring as on macOS fails (log: $out/configure.log)" >&2
    exit 1
fi
if grep -q 'CMake Warning' "$out/configure.log"; then
    grep -A6 'CMake Warning' "$out/configure.log" >&2
    fail "configuring as on macOS warns (log: $out/configure.log)"
fi
for dir in src data tools tests bench; do
    [ -f "$out/$dir/Makefile" ] || fail "$dir/ was not evaluated (Google Benchmark missing for bench/?)"
done

# What a Mac's build and install would make of it.
python3 - "$out" <<'PY' || failed=1
import os, plistlib, re, sys
out = sys.argv[1]
problems = []
cache = {}
for line in open(os.path.join(out, "CMakeCache.txt"), encoding="utf-8"):
    m = re.match(r"([A-Za-z0-9_]+):[A-Z]+=(.*)", line.rstrip("\n"))
    if m:
        cache[m.group(1)] = m.group(2)

bundles = [d for d in os.listdir(os.path.join(out, "src")) if d.endswith(".app")]
if bundles != ["Lanthorn.app"]:
    sys.exit("darwin-configure: the bundle is %s, not Lanthorn.app" % (bundles or "missing"))
contents = os.path.join(out, "src", "Lanthorn.app", "Contents")
with open(os.path.join(contents, "Info.plist"), "rb") as f:
    info = plistlib.load(f)
target_dir = os.path.join(out, "src", "CMakeFiles", "lanthorn.dir")
link = open(os.path.join(target_dir, "link.txt"), encoding="utf-8").read()
flags = open(os.path.join(target_dir, "flags.make"), encoding="utf-8").read()
rules = open(os.path.join(target_dir, "build.make"), encoding="utf-8").read()

executable = info.get("CFBundleExecutable", "")
if " -o Lanthorn.app/Contents/MacOS/%s " % executable not in link:
    problems.append("CFBundleExecutable %r is not the executable the bundle links" % executable)
if info.get("CFBundleIdentifier") != "org.lanthorn.Lanthorn":
    problems.append("CFBundleIdentifier is %r" % info.get("CFBundleIdentifier"))
target = cache.get("CMAKE_OSX_DEPLOYMENT_TARGET", "")
if not target or info.get("LSMinimumSystemVersion") != target:
    problems.append("LSMinimumSystemVersion %r differs from CMAKE_OSX_DEPLOYMENT_TARGET %r"
                    % (info.get("LSMinimumSystemVersion"), target))
if "-mmacosx-version-min=%s " % target not in flags:
    problems.append("the compiler is not given -mmacosx-version-min=%s" % target)
for key, value in info.items():
    if isinstance(value, str) and ("${" in value or "@" in value or not value):
        problems.append("Info.plist's %s is %r" % (key, value))
icon = info.get("CFBundleIconFile", "")
if not icon or "Lanthorn.app/Contents/Resources/%s.icns:" % icon not in rules:
    problems.append("nothing copies %s.icns into the bundle's Resources" % icon)
if "xcb" in link:
    problems.append("the macOS link line has X11's xcb: " + link)

# The installed bundle must find Qt's frameworks (@rpath/...): install_name_tool adds an RPATH
# to the folder holding the Qt Core library the build linked.
install = open(os.path.join(out, "src", "cmake_install.cmake"), encoding="utf-8").read()
rpaths = re.findall(r'-add_rpath "([^"]+)"', install)
core = [p for p in link.split() if re.search(r"(libQt6Core[.]|QtCore[.]framework)", p)]
core_dirs = {re.sub(r"/[^/]+\.framework/.*$", "", p) if ".framework" in p else os.path.dirname(p)
             for p in core}
if not core_dirs or not core_dirs & set(rpaths):
    problems.append("the installed bundle's RPATHs %s miss Qt's library folder %s"
                    % (rpaths, sorted(core_dirs)))

for p in problems:
    print("darwin-configure: " + p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY

# One Homebrew line, the same in the README, the install script and the workflow.
hint_files="README.md scripts/install-deps.sh .github/workflows/macos.yml"
brew_lines=$(grep -ho 'brew install [a-z0-9 @-]*[a-z0-9]' $hint_files | sort -u)
if [ "$(printf '%s\n' "$brew_lines" | wc -l)" -ne 1 ] || [ "$(grep -l 'brew install' $hint_files | wc -l)" -ne 3 ]; then
    fail "the Homebrew lines differ or one is missing:"
    printf '%s\n' "$brew_lines" >&2
fi
case " $brew_lines " in
*" pkgconf "*) ;;
*) fail "the Homebrew line does not install pkgconf" ;;
esac

# Apple's AddressSanitizer aborts when detect_leaks is set (Linux's has it on by default).
if grep -n 'detect_leaks=' CMakePresets.json scripts/asan.sh >&2; then
    fail "make asan sets detect_leaks, which macOS's AddressSanitizer refuses"
fi

# The workflow is read by GitHub only: its YAML is parsed here.
python3 - .github/workflows/*.yml <<'PY' || failed=1
import sys, yaml
for path in sys.argv[1:]:
    try:
        doc = yaml.safe_load(open(path, encoding="utf-8"))
        # YAML 1.1 reads the key `on` as True.
        assert isinstance(doc, dict) and doc.get("jobs") and (doc.get("on") or doc.get(True)), \
            "no jobs or triggers"
        for name, job in doc["jobs"].items():
            assert job.get("runs-on") and job.get("steps"), "job %s has no runs-on or steps" % name
            for step in job["steps"]:
                assert "run" in step or "uses" in step, "a step of %s neither runs nor uses" % name
    except Exception as e:
        sys.exit("darwin-configure: %s: %s" % (path, e))
PY

[ "$failed" -eq 0 ] || exit 1
echo "darwin-configure: configured and generated as on macOS; Lanthorn.app, Info.plist, icon, RPATH," \
    "Homebrew line, make asan and workflow YAML as they should be"
