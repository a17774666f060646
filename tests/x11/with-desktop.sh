#!/bin/sh
# Runs a test under an X server, a session bus and an accessibility bus of its own:
# `with-desktop.sh TEST [ARGS...]`. Without the accessibility bus launcher the test runs anyway
# (and skips what needs it).
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" sh -c '
    launcher=""
    for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
        if [ -x "$candidate" ]; then
            "$candidate" --launch-immediately >/dev/null 2>&1 &
            launcher=$!
            # Ready once it has published its address on the display.
            for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
                xprop -root AT_SPI_BUS 2>/dev/null | grep -q unix: && break
                sleep 0.1
            done
            break
        fi
    done
    "$@"
    status=$?
    [ -n "$launcher" ] && kill "$launcher" 2>/dev/null
    exit $status' sh "$@"
