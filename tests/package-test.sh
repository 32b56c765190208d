#!/bin/sh
# Installs the package into a clean Debian root with apt-get, so that its
# dependencies resolve from the archive, starts the installed game headless,
# then purges it and checks that nothing of it is left. Needs root, debootstrap
# and the Debian archive that apt uses here.
#
#   tests/package-test.sh build-deb/globoid_1.0_amd64.deb
#
# The clean root is made once and kept as a tarball in build-deb/package-test/,
# with the archives apt fetched, so that a second run needs the network less.
set -eu
deb=$(readlink -f "$1")
work=$(readlink -f "$(dirname "$deb")")/package-test
mkdir -p "$work/archives"
root="$work/root"

# The first Debian archive of apt's sources, unless GLOBOID_DEBIAN_MIRROR names one.
mirror=${GLOBOID_DEBIAN_MIRROR:-$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources 2>/dev/null |
    sed -n -e 's|^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*/debian/\{0,1\}\) .*|\2|p' -e 's|^URIs: *\([^ ]*/debian/\{0,1\}\)$|\1|p' |
    head -n 1)}
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")

if [ ! -f "$work/root.tar" ]; then
    echo "package test: making a clean $suite root from $mirror"
    rm -rf "$root"
    timeout 1200 debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 20 "$work/debootstrap.log"; exit 1; }
    tar -C "$root" -cf "$work/root.tar.part" . && mv "$work/root.tar.part" "$work/root.tar"
    rm -rf "$root"
fi

unmount() {
    for m in var/cache/apt/archives dev proc; do
        mountpoint -q "$root/$m" && umount "$root/$m"
    done
    return 0
}
trap 'unmount; rm -rf "$root"' EXIT
rm -rf "$root"
mkdir "$root"
tar -C "$root" -xf "$work/root.tar"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind "$work/archives" "$root/var/cache/apt/archives"
cp "$deb" "$root/tmp/"
in_root() { timeout 600 chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

in_root apt-get update -q >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" >>"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; exit 1; }
in_root dpkg -L globoid >"$work/files"

fail() {
    echo "package test: $*" >&2
    exit 1
}
# The installed game, started by name from the games directory, plays a move
# headless among its installed pictures and writes two pictures of the screen.
version=$(in_root /usr/games/globoid --version) || fail "--version failed"
[ "$version" = "globoid $(dpkg-deb -f "$deb" Version)" ] || fail "--version says \"$version\""
engine=$(printf 'name\nquit\n' | in_root /usr/games/globoid-engine | head -n 1) || fail "globoid-engine failed"
[ "$engine" = "= globoid-engine" ] || fail "globoid-engine answered \"$engine\" to name"
for page in globoid globoid-engine; do
    grep -qx "/usr/share/man/man6/$page.6.gz" "$work/files" || fail "no manual page for $page"
done
cat >"$root/tmp/steps.txt" <<'END'
shot /tmp/title.png
tap space
click 269 109
tap kp3
shot /tmp/board.png
quit
END
out=$(in_root sh -c 'cd /tmp && /usr/games/globoid --script steps.txt' 2>&1) ||
    fail "the installed game failed: $out"
[ "$out" = "sound move" ] || fail "the installed game said \"$out\", not \"sound move\""
for shot in title board; do
    size=$(stat -c %s "$root/tmp/$shot.png" 2>/dev/null || echo 0)
    # A black screen packs into a few hundred bytes; a drawn one into tens of kilobytes.
    [ "$size" -gt 10000 ] || fail "$shot.png is $size bytes: the pictures were not found"
done
cmp -s "$root/tmp/title.png" "$root/tmp/board.png" && fail "the title and the board are the same picture"

in_root apt-get purge -y -q globoid >>"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
in_root dpkg-query -W globoid >/dev/null 2>&1 && fail "dpkg still knows globoid after the purge"
left=0
while read -r path; do
    if [ -e "$root$path" ] && [ ! -d "$root$path" ]; then
        echo "package test: left after the purge: $path" >&2
        left=1
    fi
done <"$work/files"
[ -d "$root/usr/share/games/globoid" ] && { echo "package test: left after the purge: /usr/share/games/globoid" >&2; left=1; }
[ $left -eq 0 ] || exit 1
echo "package test: installed with its $(wc -l <"$work/files") paths, played headless, purged without a trace"
