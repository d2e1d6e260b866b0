#!/usr/bin/env bash
# Runs a 32-bit x86 Linux program: directly where the kernel runs 32-bit
# code, else under qemu-i386 user emulation. Output and exit status are the
# program's own either way.
#   run32.sh PROGRAM [ARGS...]
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  exec "$@"
fi
command -v qemu-i386 >/dev/null || { echo "run32.sh: no qemu-i386 (Debian package qemu-user)" >&2; exit 127; }
exec qemu-i386 "$@"
