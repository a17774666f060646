#!/usr/bin/env bash
# Checks Lanthorn against real file managers under Xvfb: files copied in Lanthorn paste in the
# file manager and the other way round, drag and drop both ways, and an item Lanthorn moved to the
# trash is listed by the desktop's trash with its original location and restored from there. It
# also reads the window over AT-SPI, as a screen reader does.
# `scripts/interop.sh BUILD_DIR [OUTPUT_DIR]` (what `make interop` does). The file managers and the
# X tools are installed here, for this check only; they are not Lanthorn's dependencies.
set -uo pipefail
cd "$(dirname "$0")/.."
if [ "$(uname -s)" != Linux ]; then
    echo "make interop: Linux only (Linux file managers under Xvfb)."
    exit 0
fi
build=$(cd "${1:-build}" && pwd)
out=${2:-$build/interop}
managers=${INTEROP_MANAGERS:-nautilus pcmanfm-qt dolphin}

packages=(xvfb xauth xdotool xclip x11-utils imagemagick dbus-bin trash-cli libglib2.0-bin gvfs at-spi2-core python3-pyatspi
    $managers)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing for this check only: ${missing[*]}"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null \
        || { echo "could not install ${missing[*]}" >&2; exit 2; }
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
cleanup() {
    exec 3>&- 2>/dev/null
    [ -n "${fm_pid:-}" ] && kill "$fm_pid" 2>/dev/null
    [ -n "${bus_pid:-}" ] && kill "$bus_pid" 2>/dev/null
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A demo home of its own: the trash, the file managers' settings and the devices all live there.
"$build/tools/demo/lanthorn-demo" "$work/home" "$build/tools/xcrun-standin/xcrun-standin" >/dev/null
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/run" XDG_CACHE_HOME="$work/home/.cache"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export LANTHORN_XCRUN="$build/tools/xcrun-standin/xcrun-standin"
export LC_ALL=C.UTF-8 GDK_BACKEND=x11 QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1
unset WAYLAND_DISPLAY

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1700x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &

passed=0
failed=0
report() { # STATUS TEXT
    printf '%-4s %s\n' "$1" "$2" | tee -a "$out/report.txt"
    if [ "$1" = PASS ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
: > "$out/report.txt"

# Lanthorn, driven line by line.
mkfifo "$work/to-lanthorn" "$work/from-lanthorn"
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$build/tools/interop/lanthorn-interop" < "$work/to-lanthorn" > "$work/from-lanthorn" 2> "$out/lanthorn.log" &
exec 3> "$work/to-lanthorn"
exec 4< "$work/from-lanthorn"
lanthorn() { # COMMAND... ; the answer is in $reply
    echo "$*" >&3
    reply=""
    read -r -t 60 reply <&4 || reply="error no answer"
    [[ $reply == ok* ]]
}

lanthorn open "iPhone 15 Pro" || { echo "Lanthorn did not open the demo storage: $reply" >&2; exit 1; }
lanthorn folder
storage=${reply#ok }

# What a screen reader gets: the sidebar's rows, each view's rows, and a name on every control
# on screen.
for mode in list icons columns; do
    lanthorn mode "$mode"
    sleep 1
    tree="$out/atspi-$mode.txt"
    scripts/atspi-tree.py Lanthorn > "$tree" 2>&1
    case $mode in
    list) row="*[table cell] 'README.md'" ;;
    *) row="*[list item] 'README.md'" ;;
    esac
    if grep -qF "*[list item] 'iPhone 15 Pro, iOS 17.5, Booted'" "$tree" && grep -qF "$row" "$tree"; then
        report PASS "AT-SPI, $mode view: the sidebar's and the view's rows are read with their names"
    else
        report FAIL "AT-SPI, $mode view: rows missing (see atspi-$mode.txt)"
    fi
    unnamed=$(grep -E "^ *\*\[(push button|toggle button|check box|radio button|slider|combo box|menu item|text|spin button|list|tree|table)\] ''" "$tree")
    if [ -z "$unnamed" ]; then
        report PASS "AT-SPI, $mode view: every control on screen has a name"
    else
        report FAIL "AT-SPI, $mode view: unnamed controls: $(echo "$unnamed" | tr -s ' ' | tr '\n' ';')"
    fi
done
lanthorn mode list

# The file manager's window, once it has mapped; it is put at the top left with a known size.
fm_start() { # MANAGER FOLDER
    [ -n "${fm_pid:-}" ] && { kill "$fm_pid" 2>/dev/null; wait "$fm_pid" 2>/dev/null; sleep 0.5; }
    case $1 in
    nautilus) nautilus --new-window "$2" >>"$out/$1.log" 2>&1 & ;;
    pcmanfm-qt) pcmanfm-qt --new-window "$2" >>"$out/$1.log" 2>&1 & ;;
    dolphin) dolphin --new-window "$2" >>"$out/$1.log" 2>&1 & ;;
    esac
    fm_pid=$!
    fm_window=""
    for _ in $(seq 100); do
        fm_window=$(xdotool search --onlyvisible --pid "$fm_pid" 2>/dev/null | tail -1)
        [ -z "$fm_window" ] && [ "$1" = nautilus ] && fm_window=$(xdotool search --onlyvisible --class nautilus 2>/dev/null | tail -1)
        [ -n "$fm_window" ] && break
        sleep 0.2
    done
    [ -n "$fm_window" ] || return 1
    xdotool windowmove "$fm_window" 0 40 windowsize "$fm_window" 820 640
    sleep 2
}
# Points inside the file manager's window: empty space in its view, and its first item.
fm_empty() { echo 560 560; }
# Measured on their default icon views at this window size; Dolphin shows a warning bar above
# its view when run as root.
fm_first_item() {
    case $1 in
    nautilus) echo 350 169 ;;
    pcmanfm-qt) echo 204 208 ;;
    dolphin) if [ "$(id -u)" -eq 0 ]; then echo 324 227; else echo 324 160; fi ;;
    esac
}
# What the file manager asks on a drop, answered with "Copy Here" (the only action Lanthorn offers).
fm_answer_drop() {
    case $1 in
    pcmanfm-qt) sleep 0.8; xdotool key Down; sleep 0.2; xdotool key Return ;;
    dolphin) sleep 0.8; xdotool key c ;; # its menu offers Move, Copy and Link whatever the source allows
    esac
}
fm_key() { # KEYS... , in the file manager's view
    read -r x y < <(fm_empty)
    xdotool mousemove "$x" "$y" click 1
    sleep 0.3
    for k in "$@"; do xdotool key --clearmodifiers "$k"; sleep 0.4; done
}
drag() { # X1 Y1 X2 Y2 [SCREENSHOT], with the real pointer, in small steps
    xdotool mousemove "$1" "$2"
    sleep 0.3
    xdotool mousedown 1
    for i in $(seq 1 12); do
        xdotool mousemove $(($1 + ($3 - $1) * i / 12)) $(($2 + ($4 - $2) * i / 12))
        sleep 0.1
    done
    sleep 0.5
    [ -n "${5:-}" ] && import -window root "$5"
    xdotool mouseup 1
    sleep 1.5
}
wait_file() { # PATH, up to 10 s
    for _ in $(seq 50); do [ -e "$1" ] && return 0; sleep 0.2; done
    return 1
}
same() { [ -f "$2" ] && cmp -s "$1" "$2"; }

for fm in $managers; do
    if ! command -v "$fm" >/dev/null; then
        report FAIL "$fm: not installed"
        continue
    fi
    dst="$work/$fm-in"
    src="$work/$fm-out"
    mkdir -p "$dst" "$src"
    printf 'written by %s\n' "$fm" > "$src/from $fm.txt"

    # Copied in Lanthorn, pasted in the file manager.
    if fm_start "$fm" "$dst"; then
        lanthorn copy "Shopping list.txt"
        fm_key ctrl+v
        wait_file "$dst/Shopping list.txt"
        import -window root "$out/$fm-paste-from-lanthorn.png"
        if same "$storage/Shopping list.txt" "$dst/Shopping list.txt" && [ -e "$storage/Shopping list.txt" ]; then
            report PASS "$fm: Ctrl+C in Lanthorn, Ctrl+V in $fm copies the file"
        else
            report FAIL "$fm: Ctrl+C in Lanthorn, Ctrl+V in $fm (see $fm-paste-from-lanthorn.png)"
        fi

        # Dragged from Lanthorn's list to the file manager.
        lanthorn point "README.md"
        read -r x y <<< "${reply#ok }"
        read -r tx ty < <(fm_empty)
        drag "$x" "$y" "$tx" "$ty" "$out/$fm-dragging-from-lanthorn.png"
        import -window root "$out/$fm-drop-from-lanthorn-asked.png"
        fm_answer_drop "$fm"
        wait_file "$dst/README.md"
        import -window root "$out/$fm-drop-from-lanthorn.png"
        if same "$storage/README.md" "$dst/README.md"; then
            report PASS "$fm: dragging a row from Lanthorn to $fm copies the file"
        else
            report FAIL "$fm: dragging a row from Lanthorn to $fm (see $fm-drop-from-lanthorn.png)"
        fi
    else
        report FAIL "$fm: no window for $dst"
    fi

    # Copied in the file manager, pasted in Lanthorn.
    if fm_start "$fm" "$src"; then
        fm_key ctrl+a ctrl+c
        xclip -o -selection clipboard -t TARGETS > "$out/$fm-clipboard-targets.txt" 2>&1
        import -window root "$out/$fm-copied.png"
        lanthorn paste
        if lanthorn has "from $fm.txt" && same "$src/from $fm.txt" "$storage/from $fm.txt"; then
            report PASS "$fm: Ctrl+C in $fm, Ctrl+V in Lanthorn copies the file"
        else
            lanthorn alert
            report FAIL "$fm: Ctrl+C in $fm, Ctrl+V in Lanthorn ($reply)"
        fi
        rm -f "$storage/from $fm.txt"

        # Dragged from the file manager to Lanthorn.
        read -r x y < <(fm_first_item "$fm")
        lanthorn droppoint
        read -r tx ty <<< "${reply#ok }"
        drag "$x" "$y" "$tx" "$ty"
        import -window root "$out/$fm-drop-into-lanthorn.png"
        if lanthorn has "from $fm.txt" && same "$src/from $fm.txt" "$storage/from $fm.txt" && [ -e "$src/from $fm.txt" ]; then
            report PASS "$fm: dragging a file from $fm to Lanthorn copies it"
        else
            report FAIL "$fm: dragging a file from $fm to Lanthorn (see $fm-drop-into-lanthorn.png)"
        fi
    else
        report FAIL "$fm: no window for $src"
    fi
done
[ -n "${fm_pid:-}" ] && { kill "$fm_pid" 2>/dev/null; wait "$fm_pid" 2>/dev/null; fm_pid=""; }

# The trash: moved there by Lanthorn, then listed and restored by the desktop's own tools.
trash_and_check() { # NAME
    lanthorn has "$1"
    cp "$storage/$1" "$work/trashed-copy"
    if ! lanthorn trash "$1" || [ -e "$storage/$1" ]; then
        report FAIL "Lanthorn did not move $1 to the trash ($reply)"
        return 1
    fi
    info="$XDG_DATA_HOME/Trash/info/$1.trashinfo"
    cat "$info" >> "$out/trashinfo.txt" 2>/dev/null
    gio trash --list >> "$out/gio-trash-list.txt" 2>&1
}
trashed="Café menu.txt"
if trash_and_check "$trashed"; then
    trash-list > "$out/trash-list.txt" 2>&1
    if trash-list 2>/dev/null | grep -qF " $storage/$trashed"; then
        report PASS "trash-list (trash-cli) shows \"$trashed\" with its original location"
    else
        report FAIL "trash-list does not show $storage/$trashed"
    fi
    # gio prints the name's non-ASCII bytes escaped (\\xc3\\xa9), so only the folder is compared.
    if gio trash --list 2>/dev/null | grep -qF "$storage/Caf"; then
        report PASS "gio trash --list (GVfs, what Nautilus shows) has it with its original folder"
    else
        report FAIL "gio trash --list does not show it"
    fi
    # Restored from Nautilus's Trash: select all, context menu, "Restore From Trash".
    if command -v nautilus >/dev/null && fm_start nautilus trash:///; then
        fm_key ctrl+a shift+F10
        import -window root "$out/nautilus-trash.png"
        xdotool key Up; sleep 0.3; xdotool key Up; sleep 0.3; xdotool key Return
        sleep 2
        kill "$fm_pid" 2>/dev/null; wait "$fm_pid" 2>/dev/null; fm_pid=""
    fi
    if lanthorn has "$trashed" && same "$work/trashed-copy" "$storage/$trashed" && [ ! -e "$info" ]; then
        report PASS "Nautilus's Restore From Trash puts \"$trashed\" back, and Lanthorn lists it again"
    else
        report FAIL "Nautilus did not restore $trashed (see nautilus-trash.png)"
    fi
fi
trashed="Shopping list.txt"
if trash_and_check "$trashed"; then
    (cd / && echo 0 | trash-restore "$storage" >> "$out/trash-restore.txt" 2>&1)
    if lanthorn has "$trashed" && same "$work/trashed-copy" "$storage/$trashed" && [ ! -e "$info" ]; then
        report PASS "trash-restore (trash-cli) puts \"$trashed\" back, and Lanthorn lists it again"
    else
        report FAIL "trash-restore did not restore $trashed"
    fi
fi

lanthorn quit
echo "$passed passed, $failed failed; report, screenshots and logs in $out"
[ "$failed" -eq 0 ]
