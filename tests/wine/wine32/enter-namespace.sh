#!/usr/bin/env bash
# enter-namespace.sh CMD...: runs CMD where 32-bit Linux programs run, on a
# kernel that runs none itself: qemu-user is registered for i386 ELF files in
# a private user and mount namespace (this kernel gives each user namespace
# its own binfmt_misc), so nothing changes for the rest of the machine.
# Inside, `wine` chooses Wine's loader by the program's PE type: the 32-bit
# loader (through qemu) only for 32-bit programs.
set -u
here="$(cd "$(dirname "$0")" && pwd)"
if [ -z "${QX_WINE32_NAMESPACE:-}" ]; then
    qemu="$(command -v qemu-i386 || true)"
    if [ -z "$qemu" ]; then
        echo "enter-namespace: qemu-i386 is not installed" >&2
        exit 1
    fi
    export QX_WINE32_NAMESPACE=entering QX_QEMU_I386="$qemu"
    exec unshare --user --map-root-user --mount "$0" "$@"
fi
if [ "$QX_WINE32_NAMESPACE" = entering ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 1
    # i386 ELF executables and shared objects; F: qemu is opened now, so the
    # registration works whatever the namespace later sees.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":qemu-i386:M::$magic:$mask:$QX_QEMU_I386:F" >/proc/sys/fs/binfmt_misc/register ||
        exit 1
    export QX_WINE32_NAMESPACE=yes QX_I386_RUNS=yes
    # The 64-bit-only shims of wine-env.sh have no place in here.
    PATH="$(tr ':' '\n' <<<"$PATH" | grep -v 'quellix-wine64-only' | paste -sd:)"
    export PATH="$here/bin:$PATH"
fi
exec "$@"
