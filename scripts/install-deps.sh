#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Lanthorn need, and only those
# that are missing. Runs as root, or through sudo. On macOS, the Homebrew formulae instead.
set -euo pipefail

# macOS: Homebrew's packages, the same line as the README's and the macOS workflow's. pkgconf is
# needed at build time only, and nothing else brings it.
brew_line="brew install cmake qt libplist google-benchmark pkgconf"
if [ "$(uname -s)" = "Darwin" ]; then
    if ! command -v brew >/dev/null; then
        echo "macOS: install Homebrew (https://brew.sh), then: $brew_line" >&2
        exit 1
    fi
    missing=""
    for formula in ${brew_line#brew install }; do
        brew list --versions "$formula" >/dev/null 2>&1 || missing="$missing $formula"
    done
    if [ -n "$missing" ]; then
        echo "Installing with Homebrew:$missing"
        brew install $missing
    fi
    exit 0
fi

packages=(
    # build
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libxcb1-dev libplist-dev libsqlite3-dev libbenchmark-dev dpkg-dev
    # run: icons (the theme's PNGs, and the SVG plugin for scalable ones)
    adwaita-icon-theme hicolor-icon-theme libqt6svg6
    # run: open files and folders, reveal items in the file manager
    xdg-utils dbus-bin dbus-daemon
    # run without a desktop, the screenshots, and the tests that need X11 and a screen-reader bus
    xvfb xauth imagemagick x11-utils fonts-dejavu-core at-spi2-core
    # the tests: their locale (en_US.UTF-8, as macOS has), and a case-insensitive volume (exFAT
    # through FUSE) for the file operations
    locales exfat-fuse exfatprogs fuse3
)
if [ "${LANTHORN_EXTRA_PACKAGES:-}" != "" ]; then
    read -r -a extra <<< "$LANTHORN_EXTRA_PACKAGES"
    packages+=(${extra[@]+"${extra[@]}"})
fi


missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
has_locale() { locale -a 2>/dev/null | grep -qix 'en_US.utf-\{0,1\}8'; }
[ ${#missing[@]} -eq 0 ] && has_locale && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Installing ${missing[*]:-the en_US.UTF-8 locale} needs root or sudo." >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if ! has_locale; then
    echo "Generating the en_US.UTF-8 locale"
    $sudo sed -i 's/^# *en_US.UTF-8 UTF-8/en_US.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen || echo 'en_US.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen
fi
