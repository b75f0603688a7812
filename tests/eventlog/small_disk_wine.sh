#!/bin/sh
# Runs the Windows build's small-disk test of the event log under Wine on a real 64 KiB
# tmpfs: mounts it (root only; exit status 77, a skip, otherwise) and names it to the
# test through Wine's drive Z:, which maps the Linux root.
# usage: small_disk_wine.sh FOLDER EMULATOR TEST_EXE
set -u
folder="$1"
shift
mkdir -p "$folder"
if ! mount -t tmpfs -o size=64k tmpfs "$folder" 2>/dev/null; then
  echo "cannot mount a tmpfs on $folder (it needs root): skipped"
  exit 77
fi
trap 'umount "$folder"' EXIT
ORVIX_TEST_SMALL_DISK="Z:$(printf '%s' "$folder" | tr / '\\')" "$@" --gtest_filter='SmallDiskLog.*'
