#!/bin/sh
# small_disk.sh mount|unmount DIR: the 48 KiB tmpfs of the full-disk export test. Mounting
# needs root (as in CI); without it DIR has no "mounted" marker and the test skips.
mkdir -p "$2"
if mountpoint -q "$2"; then umount "$2"; fi
if [ "$1" = mount ]; then
  mount -t tmpfs -o size=48k tmpfs "$2" && touch "$2/mounted" ||
    echo "small_disk.sh: cannot mount a tmpfs at $2; the full-disk test will skip" >&2
fi
exit 0
