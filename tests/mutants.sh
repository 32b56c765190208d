#!/bin/bash
# Plants each fault of tests/mutants.txt, one at a time, in a scratch copy of a
# commit, builds it and runs the suite, and says which faults the suite caught.
# Slow (a build and a suite run per fault): not part of CI.
#
#   tests/mutants.sh [-r REV] [-n] [ID...]
#
#   -r REV  the commit to plant the faults in (default HEAD); the list itself is
#           read from this working tree, so new entries can be tried uncommitted
#   -n      only check that every fault still applies; no build
#   ID...   only these faults
#
# MUTANTS_DIR (default /tmp/globoid-mutants/<worktree>) holds the copy, its build
# and a log per fault; MUTANTS_TIMEOUT (default 180) bounds each test in seconds.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
rev=HEAD
check_only=0
while getopts "r:n" opt; do
    case $opt in
    r) rev=$OPTARG ;;
    n) check_only=1 ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
list=$here/tests/mutants.txt
work=${MUTANTS_DIR:-/tmp/globoid-mutants/$(basename "$here")}
limit=${MUTANTS_TIMEOUT:-180}
src=$work/src build=$work/build logs=$work/logs parts=$work/parts

mkdir -p "$work"
# Children never get the lock: one left behind would hold it.
exec 9>"$work/lock"
flock -n 9 || { echo "another run uses $work" >&2; exit 2; }

commit=$(git -C "$here" rev-parse --verify "$rev^{commit}") || exit 2
# The build goes too: the copy's files bear the commit's time, older than objects
# an interrupted run may have left built from a fault.
rm -rf "$src" "$logs" "$parts" "$build"
mkdir -p "$src" "$logs" "$parts"
git -C "$here" archive "$commit" | tar -x -C "$src"

# Splits the list into parts/ID.{file,old,new}; prints the ids in order.
perl -e '
    my ($list, $dir) = @ARGV;
    open(my $in, "<", $list) or die "cannot read $list\n";
    my ($id, $state, %seen);
    while (my $line = <$in>) {
        if ($line =~ /^=== (\S+) (\S+)\s*$/) {
            ($id, $state) = ($1, "head");
            die "$list:$.: $id twice\n" if $seen{$id}++;
            open(my $f, ">", "$dir/$id.file") or die; print $f $2; close $f;
            open(OLD, ">", "$dir/$id.old") or die;
            open(NEW, ">", "$dir/$id.new") or die;
            print "$id\n";
        } elsif (!defined $state) {
        } elsif ($line eq "<<<\n" && $state eq "head") { $state = "old";
        } elsif ($line eq "---\n" && $state eq "old") { $state = "new";
        } elsif ($line eq ">>>\n" && $state eq "new") { $state = undef; close OLD; close NEW;
        } elsif ($state eq "old") { print OLD $line;
        } elsif ($state eq "new") { print NEW $line;
        }
    }
    die "$list: $id is not closed with >>>\n" if defined $state;
' "$list" "$parts" >"$work/ids" || exit 2

if [ $# -gt 0 ]; then ids=("$@"); else mapfile -t ids <"$work/ids"; fi

# Replaces the one occurrence of ID.old in the copy; fails when there is none or
# more than one.
plant() {
    perl -e '
        my ($file, $old, $new) = @ARGV;
        local $/;
        open(my $f, "<", $file) or exit 3; my $text = <$f>; close $f;
        open($f, "<", $old) or exit 3; my $o = <$f>; close $f;
        open($f, "<", $new) or exit 3; my $n = <$f>; close $f;
        $o = "" unless defined $o; $n = "" unless defined $n;
        # The line break before "---" and ">>>" ends the entry, not the text.
        $o =~ s/\n\z//; $n =~ s/\n\z//;
        exit 4 if $o eq "";
        my $count = () = $text =~ /\Q$o\E/g;
        exit($count == 0 ? 5 : 6) if $count != 1;
        $text =~ s/\Q$o\E/$n/;
        open($f, ">", $file) or exit 3; print $f $text; close $f;
    ' "$src/$1" "$parts/$2.old" "$parts/$2.new"
}

why_not() {
    case $1 in
    3) echo "cannot read the file or the entry" ;;
    4) echo "the entry has no text to find" ;;
    5) echo "text not found" ;;
    6) echo "text found more than once" ;;
    *) echo "status $1" ;;
    esac
}

build() {
    cmake --build "$build" -j2 >"$1" 2>&1 9>&- || return 1
    # Every test gets the same bound, whatever its own.
    find "$build" -name CTestTestfile.cmake -exec sed -i -E "s/TIMEOUT \"[0-9.]+\"/TIMEOUT \"$limit\"/" {} +
}

suite() {
    (cd "$build" && ctest -j2 --timeout "$limit" --stop-on-failure --output-on-failure) >"$1" 2>&1 9>&-
}

# The tests that failed in the last suite run, run again.
again() {
    (cd "$build" && ctest -j2 --timeout "$limit" --rerun-failed --output-on-failure) >"$1" 2>&1 9>&-
}

if [ $check_only = 0 ]; then
    echo "planting in $(git -C "$here" log -1 --format='%h %s' "$commit")"
    cmake -S "$src" -B "$build" -DGLOBOID_BENCH=OFF >"$logs/configure.log" 2>&1 || { echo "configure failed: $logs/configure.log"; exit 2; }
    build "$logs/build.log" || { echo "the unchanged tree does not build: $logs/build.log"; exit 2; }
    # A test that fails now and then would be taken for a catch: say so, and
    # judge by a second try.
    if ! suite "$logs/suite.log"; then
        echo "the unchanged tree failed once: $logs/suite.log"
        again "$logs/suite-again.log" || { echo "and again: $logs/suite-again.log"; exit 2; }
    fi
fi

caught=0 missed=0 flaky=0 unapplied=0 unbuilt=0
for id in "${ids[@]}"; do
    if [ ! -f "$parts/$id.file" ]; then
        echo "did-not-apply $id: no such fault"
        unapplied=$((unapplied + 1))
        continue
    fi
    file=$(cat "$parts/$id.file")
    cp "$src/$file" "$work/original" 2>/dev/null
    plant "$file" "$id"
    status=$?
    if [ $status != 0 ]; then
        echo "did-not-apply $id: $file: $(why_not $status)"
        unapplied=$((unapplied + 1))
        continue
    fi
    if [ $check_only = 1 ]; then
        echo "applies       $id"
    elif ! build "$logs/$id.build.log"; then
        echo "did-not-build $id: $logs/$id.build.log"
        unbuilt=$((unbuilt + 1))
    elif suite "$logs/$id.log"; then
        echo "missed        $id"
        missed=$((missed + 1))
    else
        failed=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$logs/$id.log" | tr '\n' ' ')
        # A catch holds when the failing tests fail again.
        if again "$logs/$id.again.log"; then
            echo "flaky         $id (failed once: ${failed% })"
            flaky=$((flaky + 1))
        else
            echo "caught        $id (${failed% })"
            caught=$((caught + 1))
        fi
    fi
    # A fresh copy, newer than the objects built from the fault.
    cp "$work/original" "$src/$file"
done

echo "total: ${#ids[@]} faults, $caught caught, $missed missed, $flaky failed once only, $unapplied did not apply, $unbuilt did not build"
