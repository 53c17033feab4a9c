#!/usr/bin/env bash
# records_disk.sh EXE: runs the records-disk test program with a C: drive that
# is a small disk of its own (a 1 MiB tmpfs), in a mount namespace of its own
# that takes the mounts with it. Every folder of the prefix's drive_c is bound
# into it, so only what is made new on C: (the records) lands on the small
# disk, and C:\Quellix is a plain folder there, as the records check wants
# (Wine shows a mount point there as one, and the check refuses it).
# Exits 77 (skipped) when this machine allows no such mount.
# records_disk.sh --setup DISK PREFIX: the shaping, run by run-test-exe.sh.
set -u
here="$(cd "$(dirname "$0")" && pwd)"

if [ "${1:-}" = --setup ]; then
    disk="$2" prefix="$3"
    mount -t tmpfs -o size=1m,mode=0755 qxsmallc "$disk" || exit 1
    mkdir -p "$prefix/drive_c/qxdisk" || exit 1
    for entry in "$prefix/drive_c"/*; do
        name="$(basename "$entry")"
        if [ -d "$entry" ]; then
            mkdir "$disk/$name" && mount --bind "$entry" "$disk/$name" || exit 1
        else
            cp -p "$entry" "$disk/$name" || exit 1
        fi
    done
    ln -sfn "$disk" "$prefix/dosdevices/c:" || exit 1
    # The test program's sign that C: is the small disk.
    : >"$disk/qx-small-disk"
    exit 0
fi

exe="$1"
probe="$(mktemp -d)"
if ! why="$(unshare --mount --propagation private \
        sh -c "mount -t tmpfs -o size=64k qxprobe '$probe' && umount '$probe'" 2>&1)"; then
    rmdir "$probe"
    echo "skipped: a small disk cannot be mounted here (unshare --mount, mount -t tmpfs): $why"
    exit 77
fi
rmdir "$probe"
disk="$(mktemp -d "${TMPDIR:-/tmp}/qx-small-c.XXXXXX")"
QX_PREFIX_SETUP="bash $here/records_disk.sh --setup $disk" \
    unshare --mount --propagation private bash "$here/../run-test-exe.sh" "$exe"
status=$?
rmdir "$disk"
exit "$status"
