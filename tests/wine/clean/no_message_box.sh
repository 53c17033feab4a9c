#!/usr/bin/env bash
# System cleaning reports nothing through the standard message box: no object
# of clean/win32 may refer to MessageBoxA/W. Usage: no_message_box.sh NM OBJECTS...
set -u
nm="$1"
shift
checked=0
for object in "$@"; do
    case "$object" in */clean/win32/*) ;; *) continue ;; esac
    checked=$((checked + 1))
    if "$nm" -u "$object" | grep -qi 'MessageBox'; then
        echo "FAIL: $object refers to the standard message box"
        exit 1
    fi
done
if [ "$checked" -eq 0 ]; then echo "FAIL: no clean/win32 objects given"; exit 1; fi
echo "$checked objects, none refers to the standard message box"
