#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine.
# Quick when everything is already present: only missing packages are fetched.
# No step ends the script silently: a step that fails says which one it was
# and what to do, as the last line before make stops.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/apt-sources.sh

NATIVE_PACKAGES="cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev libbenchmark-dev libhivex-dev libhivex-bin libwin-hivex-perl"
WINDOWS_PACKAGES="g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 xvfb xauth xdotool imagemagick"
TOOL_PACKAGES="zip unzip p7zip-full python3 man-db groff-base dpkg-dev"
APT_ROOT="${QX_APT_ROOT:-/etc/apt}"
log_dir="build"
mkdir -p "$log_dir"
LOG="$log_dir/setup.log"

# fail STEP ADVICE: the one line that names the failed step, then stop.
fail() {
    echo "setup: $1 failed (details in $LOG): $2" >&2
    exit 1
}
# warn STEP CONSEQUENCE: a step whose failure only narrows what can be tested.
warn() {
    echo "setup: $1 failed (details in $LOG): $2" >&2
}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || fail "finding root rights" "run make as root or install sudo"
    SUDO="sudo"
fi

missing() {
    local out="" p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
            out="$out $p"
        fi
    done
    echo "$out"
}

updated=0
apt_update() {
    [ "$updated" -eq 1 ] && return 0
    $SUDO apt-get update -qq >>"$LOG" 2>&1 && updated=1
}
# apt_install PACKAGE... [-- APT-OPTIONS...]: installs the missing ones.
apt_install() {
    local packages=() options=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do packages+=("$1"); shift; done
    [ $# -gt 0 ] && shift && options=("$@")
    local need
    need=$(missing "${packages[@]}")
    [ -z "$need" ] && return 0
    apt_update || return 1
    echo "setup: installing$need"
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        "${options[@]}" $need >>"$LOG" 2>&1
}

: >"$LOG"
# shellcheck disable=SC2086
apt_install $NATIVE_PACKAGES $TOOL_PACKAGES $WINDOWS_PACKAGES ||
    fail "installing the build packages" "check the apt sources and the network (apt-get update), then run make again"

# 32-bit Windows programs need wine32 from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386 >>"$LOG" 2>&1 ||
        fail "adding the i386 architecture" "run 'dpkg --add-architecture i386' as root, then make again"
    updated=0
fi
if [ -n "$(missing wine32:i386)" ]; then
    apt_install wine32:i386 ||
        warn "installing wine32:i386" "the x86 tests will be skipped; install wine32:i386 by hand to run them"
fi

# A kernel without IA-32 emulation runs Wine's 32-bit loader only through
# qemu-user. bookworm's qemu 7.2 takes about a minute to start each 32-bit
# program under Wine; the 10.x of bookworm-backports starts one in under a
# second. The suite is added, in deb822 form, from the mirror the machine
# already uses.
qemu_is_recent() {
    command -v qemu-i386 >/dev/null 2>&1 &&
        [ "$(qemu-i386 --version | sed -nE '1s/.*version ([0-9]+).*/\1/p')" -ge 10 ] 2>/dev/null
}
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 && ! qemu_is_recent; then
    codename="$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")"
    codename="${codename:-bookworm}"
    backports="$codename-backports"
    if ! qx_apt_has_suite "$APT_ROOT" "$backports"; then
        mirror="$(qx_apt_mirror "$APT_ROOT")"
        echo "setup: adding $backports from $mirror (for qemu-user)"
        qx_apt_suite_source "$mirror" "$backports" |
            $SUDO tee "$APT_ROOT/sources.list.d/quellix-backports.sources" >/dev/null 2>>"$LOG" &&
            updated=0 ||
            warn "adding $backports" "add it to the apt sources by hand; until then the x86 tests are slow or skipped"
    fi
    echo "setup: installing qemu-user from $backports (this kernel runs no 32-bit programs)"
    updated=0
    if ! apt_update || ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        -t "$backports" qemu-user >>"$LOG" 2>&1; then
        warn "installing qemu-user from $backports" "the x86 tests will be skipped; install qemu-user 10 by hand to run them"
    fi
fi

# The tests' Wine prefixes are copies of one template, made once per Wine.
source tests/wine/wine-env.sh
if ! qx_make_template >>"$LOG" 2>&1; then
    fail "making the Wine template" "see $QX_WINE_TEMPLATE.log; remove $QX_WINE_TEMPLATE and run make again"
fi
