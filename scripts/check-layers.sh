#!/bin/sh
# Fails when a folder includes a header of a folder it may not use. The table
# below is the one place the layering is written down; every folder with sources
# must have a line. An entry names a folder, or one header that a folder may use
# without the rest of its folder. tests/ and bench/ may include anything.
set -eu
cd "$(dirname "$0")/.."

rules='
platform:
unit:     platform
draw:     platform unit rules
rules:    platform draw souris assets
souris:   platform unit
assets:   platform unit souris control
control:  platform unit draw rules souris assets seats engine net board records settings
board:
engine:   board
net:      board
records:  board
seats:    platform engine net board draw/geometry.h
protocol: engine board
settings: board
tools:    draw/geometry.h board
tests:    *
bench:    *
'
# Why: platform/ is the bottom and knows nothing of the game; the frame hand-over
# it needs from _UPDATE is a slot it declares (platform/frame.h). The game's own
# calls make two circles, kept as they are: rules and draw (the rules draw, the
# drawing reads the grid), assets and control (the screens poll Key and post to
# MonApp). board/ is the additions' one vocabulary of cells, moves and their
# rules, and needs nothing. The engine is a position in and a move out; net/ carries messages and
# knows no game either. Seats reach the game only through the platform's input and
# the positions control/ hands them, and only control/ knows the seats. The cell
# geometry is plain arithmetic, shared with whatever clicks on a cell. The settings
# file is plain text of the player's choices; control/ tells it what changed.
# globoid-engine's protocol is the engine behind a text interface: nothing of the game.
# Records are text about the board's vocabulary; the game reaches them only through control/.

status=0
for dir in */; do
    dir=${dir%/}
    case $dir in build*) continue ;; esac # build trees
    files=$(find "$dir" -type f \( -name '*.cpp' -o -name '*.h' \))
    [ -n "$files" ] || continue
    allowed=$(printf '%s\n' "$rules" | sed -n "s|^$dir:[[:space:]]*||p")
    if ! printf '%s\n' "$rules" | grep -q "^$dir:"; then
        echo "$dir/: not in the table of scripts/check-layers.sh; add the folders it may include" >&2
        status=1
        continue
    fi
    [ "$allowed" = "*" ] && continue
    # Every quoted include that names a folder: file:line:folder/rest.
    # shellcheck disable=SC2086
    found=$(grep -Hn '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]*/' $files |
        sed 's|^\([^:]*:[0-9]*\):[^"]*"\([^"]*\)".*|\1:\2|') || true
    for hit in $found; do
        header=${hit#*:*:}
        folder=${header%%/*}
        [ "$folder" = "$dir" ] && continue
        [ -d "$folder" ] || continue # a path relative to the including file
        ok=0
        for a in $allowed; do
            if [ "$a" = "$folder" ] || [ "$a" = "$header" ]; then ok=1; fi
        done
        if [ $ok -eq 0 ]; then
            echo "${hit%:*}: $dir/ may not include $header" >&2
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "layers: every include is allowed"
exit $status
