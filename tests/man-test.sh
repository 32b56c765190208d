#!/bin/sh
# Every option that a program's --help lists is in its manual page, and with
# `commands`, every command it lists too (globoid-engine's).
#   tests/man-test.sh PROGRAM PAGE [commands]
set -eu
help=$("$1" --help)
options=$(printf '%s\n' "$help" | sed -n 's/^  \(--[a-z-]*\).*/\1/p')
if [ "${3:-}" = commands ]; then
    # "  name, name ARG, name" and "  name ARGS   what it does"
    options="$options $(printf '%s\n' "$help" | sed -n 's/^  \([a-z_]\)/\1/p' | sed 's/  .*//' |
        tr ',' '\n' | sed -n 's/^ *\([a-z_]*\).*/\1/p')"
fi
[ -n "$options" ] || { echo "nothing listed by $1 --help" >&2; exit 1; }
missing=0
for o in $options; do
    # The page writes each dash as \- and names each in bold.
    if ! grep -q "^\.B[IR]\{0,1\} .*$(printf '%s' "$o" | sed 's/-/\\\\-/g')" "$2"; then
        echo "$2: $o, from --help, is missing" >&2
        missing=1
    fi
done
exit $missing
