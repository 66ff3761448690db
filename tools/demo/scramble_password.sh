#!/usr/bin/env bash
# Prints the stored form of a database password: each byte of its UTF-8 text XOR the high byte
# of a running 16-bit key, written as hexadecimal pairs (the program descrambles it at start-up).
# Usage: tools/demo/scramble_password.sh PASSWORD
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PASSWORD" >&2; exit 2; }
key=23417 out=""
# Byte by byte whatever the locale: a character of the locale may take several bytes.
for c in $(printf '%s' "$1" | od -An -tu1 -v); do
  s=$(( c ^ (key >> 8) ))
  out+=$(printf '%02X' "$s")
  key=$(( ((key + s) * 18731 + 27509) & 0xFFFF ))
done
printf '%s\n' "$out"
