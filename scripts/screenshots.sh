#!/usr/bin/env bash
# Takes the README's screenshots from the real window against a fresh demo device set:
# `scripts/screenshots.sh BUILD_DIR [OUTPUT_DIR]` (what `make screenshots` does).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(uname -s)" != Linux ]; then
    echo "make screenshots: Linux only (the README's shots are taken under Xvfb)."
    exit 0
fi
build=$(cd "${1:-build}" && pwd)
out=${2:-docs/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A demo home of its own, so the shots never depend on (or change) anyone's real or demo data.
"$build/tools/demo/lanthorn-demo" "$work/home" "$build/tools/xcrun-standin/xcrun-standin" >/dev/null
export HOME="$work/home"
export XDG_CONFIG_HOME="$work/config"
export LANTHORN_XCRUN="$build/tools/xcrun-standin/xcrun-standin"
export LC_ALL=${LC_ALL:-C.UTF-8}
export TZ=${TZ:-UTC}
tool="$build/tools/screenshots/lanthorn-screenshots"
if [ -n "${DISPLAY:-}" ]; then
    "$tool" "$out"
else
    xvfb-run -a -s "-screen 0 1400x900x24" "$tool" "$out"
fi
