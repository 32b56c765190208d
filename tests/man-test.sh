#!/bin/sh
# Every option that `globoid --help` lists is in the manual page.
#   tests/man-test.sh PROGRAM PAGE
set -eu
options=$("$1" --help | sed -n 's/^  \(--[a-z-]*\).*/\1/p')
[ -n "$options" ] || { echo "no options in $1 --help" >&2; exit 1; }
missing=0
for o in $options; do
    # The page writes each dash as \-.
    if ! grep -q "^\.B[IR]\{0,1\} .*$(printf '%s' "$o" | sed 's/-/\\\\-/g')" "$2"; then
        echo "$2: $o, from --help, is missing" >&2
        missing=1
    fi
done
exit $missing
