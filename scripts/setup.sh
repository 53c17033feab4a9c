#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine.
# Quick when everything is already present: only missing packages are fetched.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

NATIVE_PACKAGES="cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev libbenchmark-dev libhivex-dev libhivex-bin libwin-hivex-perl"
WINDOWS_PACKAGES="g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 xvfb xauth xdotool imagemagick"
TOOL_PACKAGES="zip unzip p7zip-full python3"

missing() {
    local out=""
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
            out="$out $p"
        fi
    done
    echo "$out"
}

updated=0
apt_install() {
    local need
    need=$(missing "$@")
    [ -z "$need" ] && return 0
    if [ "$updated" -eq 0 ]; then $SUDO apt-get update -qq; updated=1; fi
    echo "setup: installing$need"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $need >/dev/null
}

apt_install $NATIVE_PACKAGES $TOOL_PACKAGES $WINDOWS_PACKAGES

# 32-bit Windows programs need wine32 from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
fi
if [ -n "$(missing wine32:i386)" ]; then
    if [ "$updated" -eq 0 ]; then $SUDO apt-get update -qq; updated=1; fi
    echo "setup: installing wine32:i386"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null || \
        echo "setup: wine32 could not be installed; x86 tests will be skipped"
fi

# A kernel without IA-32 emulation runs Wine's 32-bit loader only through
# qemu-user. bookworm's qemu 7.2 takes about a minute to start each 32-bit
# program under Wine; the 10.x of bookworm-backports starts one in under a
# second. The suite is added with the mirror the machine already uses.
qemu_is_recent() {
    command -v qemu-i386 >/dev/null 2>&1 &&
        [ "$(qemu-i386 --version | sed -nE '1s/.*version ([0-9]+).*/\1/p')" -ge 10 ] 2>/dev/null
}
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 && ! qemu_is_recent; then
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
    mirror="$(grep -hsE '^(URIs:|deb) ' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list 2>/dev/null | grep -m1 -E '/debian/?( |$)' |
        sed -E 's/^URIs: *//; s/^deb +(\[[^]]*\] +)?//; s/ .*//')"
    mirror="${mirror:-http://deb.debian.org/debian}"
    list=/etc/apt/sources.list.d/quellix-backports.list
    if ! grep -qs "$codename-backports" /etc/apt/sources.list.d/* /etc/apt/sources.list; then
        echo "deb $mirror $codename-backports main" | $SUDO tee "$list" >/dev/null
    fi
    $SUDO apt-get update -qq
    echo "setup: installing qemu-user from $codename-backports (this kernel runs no 32-bit programs)"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        -t "$codename-backports" qemu-user >/dev/null ||
        echo "setup: qemu-user could not be installed; the x86 tests will be skipped"
fi
