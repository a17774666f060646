#!/usr/bin/env bash
# `make lint`: the C++ sources against the committed .clang-format (all of them), then clang-tidy
# with the committed .clang-tidy on the sources changed since LINT_BASE (default: the first parent
# of HEAD, so a merge checks all it brings), warnings as errors. Reads the compile commands of
# BUILD_DIR (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
format=${CLANG_FORMAT:-$(command -v clang-format-14 || command -v clang-format || true)}
tidy=${CLANG_TIDY:-$(command -v clang-tidy-14 || command -v clang-tidy || true)}
[ -n "$format" ] && [ -n "$tidy" ] || { echo "clang-format or clang-tidy is missing: make lint installs them." >&2; exit 1; }

sources=()
while IFS= read -r f; do sources+=("$f"); done < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
    'bench/*.cpp' 'bench/*.h' 'tools/*.cpp' 'tools/*.h' 'cmake/*.h')
if ! "$format" --dry-run --Werror "${sources[@]}" 2>"$build_dir/format.log"; then
    grep -m 20 -E '(warning|error):' "$build_dir/format.log" >&2 || true
    echo "lint: $(grep -cE '(warning|error):' "$build_dir/format.log") lines differ from .clang-format; run: $format -i <file>" >&2
    exit 1
fi
echo "lint: ${#sources[@]} files formatted as .clang-format says"

if [ -z "${LINT_BASE:-}" ]; then
    LINT_BASE=$(git rev-parse --verify -q HEAD~1 || true)
fi
[ -n "$LINT_BASE" ] || { echo "lint: no earlier commit to compare with; clang-tidy skipped"; exit 0; }
[ -f "$build_dir/compile_commands.json" ] || { echo "No $build_dir/compile_commands.json: run make first." >&2; exit 1; }
# A changed header is checked through the source of the same name.
changed=()
while IFS= read -r f; do changed+=("$f"); done < <(
    git diff --name-only --diff-filter=AMR "$LINT_BASE" HEAD -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'bench/*.cpp' 'tools/*.cpp' |
    sed 's/\.h$/.cpp/' | sort -u | while IFS= read -r f; do [ -f "$f" ] && echo "$f"; done)
if [ ${#changed[@]} -eq 0 ]; then
    echo "lint: no C++ source changed since $(git rev-parse --short "$LINT_BASE")"
    exit 0
fi
echo "lint: clang-tidy on ${#changed[@]} sources changed since $(git rev-parse --short "$LINT_BASE")"
printf '%s\n' "${changed[@]}" | xargs -P "${JOBS:-2}" -n 4 "$tidy" -p "$build_dir" --quiet --warnings-as-errors='*'
