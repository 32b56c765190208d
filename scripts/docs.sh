#!/bin/sh
# Redraws the README's pictures, docs/title.png and docs/game.png, with the
# headless device from the current build, and docs/cells.png, the board with the
# name of every cell, with the picture generator; and makes them small. Needs pngquant
# and optipng (apt-get install pngquant optipng), which nothing else uses.
set -eu
cd "$(dirname "$0")/.."
for tool in pngquant optipng; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is missing: apt-get install pngquant optipng" >&2
        exit 1
    fi
done
scripts/build.sh
dir="${GLOBOID_BUILD_DIR:-build}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The title, then a game in progress: the first player walks a row of three down
# to the right while the second steps aside, and pushes a marble off the bottom
# edge; the second player then selects two marbles. Cell (x, y) is clicked at
# its centre, (25x + 69, 38y - 43) (draw/geometry.h).
cat > "$tmp/steps.txt" <<END
shot $tmp/title.png
tap space
click 219 33
click 244 71
click 269 109
tap kp3
click 369 261
tap kp9
click 244 71
click 269 109
click 294 147
tap kp3
click 394 299
tap kp9
click 269 109
click 294 147
click 319 185
tap kp3
click 269 261
tap kp7
click 294 147
click 319 185
click 344 223
tap kp3
click 244 223
tap kp7
click 319 185
click 344 223
click 369 261
tap kp3
click 219 185
tap kp7
click 344 223
click 369 261
click 394 299
tap kp3
click 294 299
click 319 261
move 470 330
shot $tmp/game.png
END
# No kept game of the machine's own to resume shows on the title.
(cd "$dir" && XDG_DATA_HOME="$tmp" ./globoid --script "$tmp/steps.txt")
"$dir/tools/mkart" --cells "$tmp/cells.png"

mkdir -p docs
for name in title game cells; do
    pngquant --force --quality=70-90 --speed 1 --output "docs/$name.png" "$tmp/$name.png"
    optipng -quiet -o5 -strip all "docs/$name.png"
done
ls -l docs/title.png docs/game.png docs/cells.png
