#!/usr/bin/env bash
# Starts Lanthorn from a build folder: `scripts/run.sh BUILD_DIR` (what `make run` does).
# Without Apple's tools it uses the simctl stand-in over a demo home; without a display it runs
# the window under Xvfb once, saves a screenshot and stops.
set -euo pipefail

build_dir=${1:-build}
if [ ! -d "$build_dir" ]; then
    echo "No build folder at $build_dir: run \`make\` first." >&2
    exit 1
fi
build_dir=$(cd "$build_dir" && pwd)

app="$build_dir/src/lanthorn"
# On macOS the program is the bundle's executable, so it runs with its Info.plist and icon.
bundled="$build_dir/src/Lanthorn.app/Contents/MacOS/Lanthorn"
if [ -x "$bundled" ]; then
    app=$bundled
fi
if [ ! -x "$app" ]; then
    app=$(find "$build_dir" -name lanthorn -type f -perm -u+x 2>/dev/null | head -n 1 || true)
fi
if [ -z "$app" ] || [ ! -x "$app" ]; then
    echo "Lanthorn is not built in $build_dir: run \`make\` first." >&2
    exit 1
fi

# A Mac with only the command-line tools has /usr/bin/xcrun, but no simctl behind it.
have_simctl() { [ -x /usr/bin/xcrun ] && /usr/bin/xcrun --find simctl >/dev/null 2>&1; }
if [ -z "${LANTHORN_XCRUN:-}" ] && ! have_simctl; then
    standin="$build_dir/tools/xcrun-standin/xcrun-standin"
    demo_tool="$build_dir/tools/demo/lanthorn-demo"
    for tool in "$standin" "$demo_tool"; do
        if [ ! -x "$tool" ]; then
            echo "Missing $tool: run \`make\` first." >&2
            exit 1
        fi
    done
    demo_home="${XDG_DATA_HOME:-$HOME/.local/share}/lanthorn-demo"
    demo_log=$(mktemp)
    if ! "$demo_tool" "$demo_home" "$standin" 2>"$demo_log"; then
        cat "$demo_log" >&2
        rm -f "$demo_log"
        echo "Could not set up the demo simulators in $demo_home." >&2
        exit 1
    fi
    rm -f "$demo_log"
    export HOME="$demo_home"
    export LANTHORN_XCRUN="$standin"
    echo "No simctl here: using the simctl stand-in with demo simulators in $demo_home."
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ "$(uname -s)" = "Darwin" ]; then
    exec "$app"
fi

# No display: one run under a virtual X server, for a screenshot.
for tool in Xvfb import; do
    if ! command -v "$tool" >/dev/null; then
        echo "No display, and $tool is missing to run headless: run scripts/install-deps.sh." >&2
        exit 1
    fi
done

shots="$build_dir/screenshots"
mkdir -p "$shots"
stamp=$(date +%Y%m%d-%H%M%S)
shot="$shots/lanthorn-$stamp.png"
app_log="$shots/lanthorn-$stamp.log"
work=$(mktemp -d)
xvfb_pid=""
app_pid=""

stop() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    stop "$app_pid"
    stop "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display number itself and writes it to the given descriptor.
Xvfb -displayfd 3 -screen 0 1440x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    cat "$work/xvfb.log" >&2
    echo "Could not start Xvfb." >&2
    exit 1
fi
display=":$(tr -d '[:space:]' <"$work/display")"

DISPLAY="$display" QT_QPA_PLATFORM=xcb "$app" >"$app_log" 2>&1 &
app_pid=$!

# Wait for a viewable top-level window of the program, then give it a moment to fill in.
mapped=no
for _ in $(seq 150); do
    if ! kill -0 "$app_pid" 2>/dev/null; then
        break
    fi
    if command -v xwininfo >/dev/null; then
        for id in $(DISPLAY="$display" xwininfo -root -children 2>/dev/null \
                    | awk 'tolower($0) ~ /\("lanthorn"/ { print $1 }'); do
            if DISPLAY="$display" xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
                mapped=yes
            fi
        done
    else
        sleep 4
        kill -0 "$app_pid" 2>/dev/null && mapped=yes
    fi
    [ "$mapped" = yes ] && break
    sleep 0.1
done
if [ "$mapped" != yes ]; then
    if kill -0 "$app_pid" 2>/dev/null; then
        echo "Lanthorn started but showed no window within 15 s; its output is in $app_log." >&2
    else
        wait "$app_pid" 2>/dev/null && status=0 || status=$?
        app_pid=""
        echo "Lanthorn exited (status $status) before showing its window; its output:" >&2
        cat "$app_log" >&2
    fi
    exit 1
fi
sleep 2

if ! import -display "$display" -window root "$shot" 2>"$work/import.log"; then
    cat "$work/import.log" >&2
    echo "Could not take the screenshot." >&2
    exit 1
fi
echo "No display: Lanthorn ran under Xvfb; screenshot saved to $shot"
echo "Run \`make run\` from a desktop session to use the window."
