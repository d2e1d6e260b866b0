#!/usr/bin/env bash
# Prints the Wine loader to use: the 64-bit one where it exists (it also
# runs 32-bit programs on machines that allow 32-bit user code).
for w in /usr/lib/wine/wine64 /usr/bin/wine64 /usr/bin/wine; do
  [ -x "$w" ] && { echo "$w"; exit 0; }
done
echo wine
