#!/bin/sh
# Mounts (mount DIR) or unmounts (unmount DIR) the 64 KiB tmpfs of the full-disk export test.
# Mounting needs root (as in CI); without it the folder stays plain, has no "mounted" marker
# and the test skips. Never fails, so the tests that use it still run.
mode=$1
dir=$2
case $mode in
  mount)
    mkdir -p "$dir"
    mountpoint -q "$dir" && umount "$dir"
    if mount -t tmpfs -o size=64k tmpfs "$dir" 2>/dev/null; then
      touch "$dir/mounted"
    else
      echo "small_disk.sh: cannot mount a tmpfs at $dir; the full-disk test will skip" >&2
    fi
    ;;
  unmount)
    if mountpoint -q "$dir"; then umount "$dir"; fi
    ;;
esac
exit 0
