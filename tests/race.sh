#!/bin/sh
# race.sh BUILD_DIR TREE SOURCE_DIR SCRATCH [EMULATOR...]: the programs against other
# processes at work on the same tree, a row each, in a fresh directory under
# SCRATCH. A racer counts what it did, so that a row shows it really raced.
# Nothing outside the tree is ever written, removed or changed in mode, and
# no run says it did a row it did not do.
set -eu
if [ $# -gt 4 ]; then
	shift 4
	echo "skipped: the programs run under $*, too slowly to race"
	exit 77
fi
build=$1 tree=$2 source=$3 runs=1000
bin=$build tests=$build/tests toolchain=$source/components/toolchain.links hostile=$source/tests/components/hostile.links
mkdir -p "$4"
work=$(mktemp -d "$4/race-XXXXXX")
far=$(mktemp -d /dev/shm/links-race-XXXXXX)
racer=
trap 'stop; rm -rf "$far" "$work"' EXIT
fail() {
	echo "$*"
	exit 1
}

# race NAME PERL [ARG...]: start a racer that runs the perl statements
# PERL in a loop, counting rounds into $work/NAME.count when stopped.
race() {
	name=$1 body=$2
	shift 2
	perl -e '$n = 0; $count = shift; $SIG{TERM} = sub { open my $f, ">", $count; print $f $n; exit };
		while (1) { '"$body"'; $n++ }' "$work/$name.count" "$@" &
	racer=$!
}
stop() {
	[ -z "$racer" ] || { kill "$racer" 2>/dev/null || :; wait "$racer" 2>/dev/null || :; }
	racer=
}
rounds() {
	cat "$work/$1.count"
}
# A directory anyone can write in, as another user's would be.
open_dir() {
	mkdir -p "$1"
	chmod 1777 "$1"
}
unchanged() { # FILE TEXT MODE: an outside file as it was
	[ "$(cat "$1")" = "$2" ] && [ "$(stat -c %a "$1")" = "$3" ]
}

# Row: a symbolic link to a file outside, planted at a hard-link row's path
# that another installer keeps making: never written through.
"$tree" lay "$toolchain" "$work/planted"
printf outside >"$work/outside"
race planted 'unlink $ARGV[1]; symlink $ARGV[0], $ARGV[1]' "$work/outside" "$work/planted/arm-none-eabi/bin/g++"
refused=0 i=0
while [ $i -lt "$runs" ]; do
	"$bin/mklinks-toolchain" "$work/planted" >/dev/null 2>"$work/err" || refused=$((refused + 1))
	unchanged "$work/outside" outside 644 || fail "planted link: run $i wrote through it"
	i=$((i + 1))
done
stop
echo "planted link: never written through in $runs runs, $refused of them refused, $(rounds planted) plants"

# Row: a copy into a directory others can write, on another file system,
# where a link to a file outside is planted at the copy's path between the
# failed link and the copy.
"$tree" lay "$hostile" "$work/copy"
printf big >"$work/copy/big"
open_dir "$far/copy"
rm -r "$work/copy/sub"
ln -s "$far/copy" "$work/copy/sub"
printf victim >"$work/victim"
race copy 'unlink $ARGV[1]; symlink $ARGV[0], $ARGV[1]' "$work/victim" "$far/copy/copy"
made=0 i=0
while [ $i -lt "$runs" ]; do
	if "$tests/mklinks-hostile" "$work/copy" >/dev/null 2>"$work/err"; then
		made=$((made + 1))
	elif ! grep -q -e '^cannot copy "big" to "sub/copy": ' -e '^cannot create hard link from "sub/copy"' "$work/err"; then
		fail "copy: run $i: $(cat "$work/err")"
	fi
	unchanged "$work/victim" victim 644 || fail "copy: run $i wrote through the planted link"
	i=$((i + 1))
done
stop
[ "$(rounds copy)" -gt 0 ] || fail "copy: the planter never planted"
echo "copy: never written through in $runs runs, $made made, $(rounds copy) plants"

# Row: a directory of the rows' paths swapped, again and again, with a link
# to a directory outside; the creator and the remover at it in turn.
"$tree" lay "$hostile" "$work/swap"
open_dir "$work/swap/w"
mkdir "$work/away"
printf keep >"$work/away/link"
printf keep >"$work/away/hard"
ln -s "$work/away" "$work/swap/w/l"
race swap 'syscall(316, -100, $ARGV[0], -100, $ARGV[1], 2) == 0 or die "renameat2: $!"' \
	"$work/swap/w/d" "$work/swap/w/l"
refused=0 i=0
while [ $i -lt $((runs / 4)) ]; do
	for prog in mklinks rmlinks; do
		if ! "$tests/$prog-hostile" "$work/swap" >/dev/null 2>"$work/err"; then
			grep -q '^refusing "w/d/[a-z]*": a symbolic link on its way lies in a directory others can write$' \
				"$work/err" || fail "swap: $prog run $i: $(cat "$work/err")"
			refused=$((refused + 1))
		fi
		unchanged "$work/away/link" keep 644 && unchanged "$work/away/hard" keep 644 ||
			fail "swap: $prog run $i acted outside the tree"
	done
	i=$((i + 1))
done
stop
[ "$refused" -gt 0 ] || fail "swap: no run ever met the swapped link in $(rounds swap) swaps"
echo "swap: never outside in $((runs / 4)) runs of each, $refused refused, $(rounds swap) swaps"

# Rows without a race: what a writer left in the tree before the run.
lay() { # NAME: a fresh hostile tree
	"$tree" lay "$hostile" "$work/$1"
	printf big >"$work/$1/big"
}
expect() { # STATUS ERR COMMAND...: a run's status and standard error
	want=$1 said=$2
	shift 2
	status=0
	timeout 10 "$@" >/dev/null 2>"$work/err" || status=$?
	[ "$status" = "$want" ] && [ "$(cat "$work/err")" = "$said" ] ||
		fail "$*: status $status, said: $(cat "$work/err")"
}
printf tool >"$work/tool"
chmod 644 "$work/tool"
# A link at a permission row's path in a directory others can write.
lay chmod
open_dir "$work/chmod/w"
ln -sf "$work/tool" "$work/chmod/w/tool"
expect 1 'could not chmod 4755 "w/tool": a symbolic link in a directory others can write' \
	"$tests/mklinks-hostile" "$work/chmod"
unchanged "$work/tool" tool 644 || fail "chmod: changed the mode of a file outside"
expect 1 '' "$tests/cklinks-hostile" "$work/chmod"
# The same link where only root and we could have put it is followed.
chmod 755 "$work/chmod/w"
expect 0 '' "$tests/mklinks-hostile" "$work/chmod"
unchanged "$work/tool" tool 4755 || fail "chmod: a trusted link was not followed"
expect 0 '' "$tests/cklinks-hostile" "$work/chmod"
chmod 644 "$work/tool"
# The remover meets a link out of the tree where a directory was.
lay gone
open_dir "$work/gone/w"
rm -r "$work/gone/w/d"
ln -s "$work/away" "$work/gone/w/d"
expect 1 'refusing "w/d/link": a symbolic link on its way lies in a directory others can write' \
	"$tests/rmlinks-hostile" "$work/gone"
unchanged "$work/away/link" keep 644 || fail "remover: removed a file outside"
# A hard link's path through such a link fails the run at that row.
"$tree" lay "$toolchain" "$work/tool-gone"
chmod 1777 "$work/tool-gone/arm-none-eabi"
rm -r "$work/tool-gone/arm-none-eabi/bin"
ln -s "$work/away" "$work/tool-gone/arm-none-eabi/bin"
expect 1 'refusing "arm-none-eabi/bin/g++": a symbolic link on its way lies in a directory others can write' \
	"$bin/mklinks-toolchain" "$work/tool-gone"
# The checker does not look through it either, and says so of each row.
"$tests/cklinks-hostile" "$work/gone" >"$work/out" 2>&1 && fail "checker: looked through a link others could plant"
for row in link hard; do
	grep -qx "\"w/d/$row\": a symbolic link on its way lies in a directory others can write" "$work/out" ||
		fail "checker: said of w/d/$row: $(cat "$work/out")"
done
# Where only root and we could have put it, the link leads where the
# packager meant, as "etc -> /etc/tool" does.
chmod 755 "$work/gone/w"
expect 0 '' "$tests/mklinks-hostile" "$work/gone"
[ "$(readlink "$work/away/link")" = text ] || fail "trusted link out of the tree: not followed"
expect 0 '' "$tests/cklinks-hostile" "$work/gone"
expect 0 '' "$tests/rmlinks-hostile" "$work/gone"
[ ! -e "$work/away/link" ] && [ ! -e "$work/away/hard" ] || fail "trusted link out of the tree: not removed"
printf keep >"$work/away/link"
printf keep >"$work/away/hard"
# A copy's target that is no regular file: refused at once, in a tree
# others can write and in one they cannot.
for how in fifo zero; do
	for mode in 1777 755; do
		lay "$how$mode"
		rm "$work/$how$mode/big"
		case $how in
		fifo) mkfifo "$work/$how$mode/big" ;;
		zero) ln -s /dev/zero "$work/$how$mode/big" ;;
		esac
		mkdir -p "$far/$how$mode"
		chmod "$mode" "$far/$how$mode"
		rm -r "$work/$how$mode/sub"
		ln -s "$far/$how$mode" "$work/$how$mode/sub"
		expect 1 'cannot copy "big" to "sub/copy": not a regular file' "$tests/mklinks-hostile" "$work/$how$mode"
		[ ! -e "$far/$how$mode/copy" ] || fail "$how $mode: a copy was made"
	done
done
# A copy that cannot be written into a directory others can write fails
# its row, and takes away the temporary it wrote beside the path.
lay full
mkdir -p "$far/full"
chmod 1777 "$far/full"
rm -r "$work/full/sub"
ln -s "$far/full" "$work/full/sub"
expect 1 'cannot copy "big" to "sub/copy": No space left on device' \
	strace -qqq -o /dev/null -e trace=write -e inject=write:error=ENOSPC:when=1 "$tests/mklinks-hostile" "$work/full"
[ -z "$(ls -A "$far/full")" ] || fail "a full disk: left $(ls -A "$far/full")"
expect 0 '' "$tests/mklinks-hostile" "$work/full"
[ "$(cat "$far/full/copy")" = big ] || fail "a full disk: no copy made once there was room"
# Killed as it writes the copy, a run leaves nothing beside the path.
status=0
strace -qqq -o /dev/null -e trace=write -e inject=write:signal=KILL:when=1 \
	"$tests/mklinks-hostile" "$work/full" >/dev/null 2>&1 || status=$?
[ "$status" = 137 ] || fail "killed while copying: status $status"
[ -z "$(ls -A "$far/full")" ] || fail "killed while copying: left $(ls -A "$far/full")"
# Where a file without a name cannot be linked by its descriptor alone, as
# before Linux 6.10 without root, it is linked through /proc: the first
# call to link is the hard link the copy stands in for.
expect 0 '' strace -qqq -o /dev/null -e trace=linkat -e inject=linkat:error=ENOENT:when=2 \
	"$tests/mklinks-hostile" "$work/full"
[ "$(cat "$far/full/copy")" = big ] || fail "linked through /proc: no copy"
# Where the file system has no files without a name, the copy is written
# into a named temporary, which a failed row takes away too.
strace -o "$work/calls" -e trace=openat "$tests/mklinks-hostile" "$work/full" >/dev/null 2>&1
unnamed=$(grep '^openat(' "$work/calls" | grep -n O_TMPFILE | cut -d: -f1)
[ -n "$unnamed" ] || fail "a full disk: the copy was not written into a file without a name"
expect 1 'cannot copy "big" to "sub/copy": No space left on device' \
	strace -qqq -o /dev/null -e trace=openat,write -e "inject=openat:error=EOPNOTSUPP:when=$unnamed" \
	-e inject=write:error=ENOSPC:when=1 "$tests/mklinks-hostile" "$work/full"
[ -z "$(ls -A "$far/full")" ] || fail "a full disk, no unnamed files: left $(ls -A "$far/full")"
echo "without a race: permission rows, the remover, targets that are no regular file, a full disk and a kill"

# Row: lslinks while a file with two names, or the directory holding it,
# moves from a directory the walk has passed to one it has not: every list
# it writes holds at most one link for the file, never two.
for what in file directory; do
	stage=$work/stage-$what
	mkdir -p "$stage/a/in" "$stage/m" "$stage/z"
	printf data >"$stage/a/in/f"
	ln "$stage/a/in/f" "$stage/m/g"
	case $what in
	file) race "move-$what" 'rename $ARGV[0], $ARGV[1]; rename $ARGV[1], $ARGV[0]' "$stage/a/in/f" "$stage/z/f" ;;
	directory) race "move-$what" 'rename $ARGV[0], $ARGV[1]; rename $ARGV[1], $ARGV[0]' "$stage/a/in" "$stage/z/in" ;;
	esac
	refused=0 i=0
	while [ $i -lt 500 ]; do
		if "$bin/lslinks" "$stage" >"$work/list" 2>"$work/err"; then
			[ "$(grep -c '^hardlink ' "$work/list")" -le 1 ] || fail "lslinks, $what moved: $(cat "$work/list")"
		else
			grep -q 'changed while it was listed' "$work/err" || fail "lslinks, $what moved: $(cat "$work/err")"
			refused=$((refused + 1))
		fi
		i=$((i + 1))
	done
	stop
	[ "$refused" -gt 0 ] || fail "lslinks, $what moved: no walk ever met the move in $(rounds "move-$what") moves"
	echo "lslinks, $what moved: no list with a name too many in 500 runs, $refused refused"
done

# Row: linklist while the list keeps growing ends, and refuses the list or
# reads it as it was when opened.
printf 'chmod 644 a\n' >"$work/growing.links"
race grow 'open my $f, ">>", $ARGV[0]; print $f "chmod 644 a\n" x 1000; close $f' "$work/growing.links"
sleep 0.2
status=0
timeout 20 "$bin/linklist" check "$work/growing.links" 2>"$work/err" || status=$?
stop
case $status in
0) ;;
1) grep -q ': error: cannot read the list: it grew while it was read$' "$work/err" || fail "linklist: $(cat "$work/err")" ;;
*) fail "linklist on a growing list: status $status" ;;
esac
echo "linklist on a growing list: ended with status $status"

# Row: two installers at once, with bin/ on another file system, so that
# both copy the same rows: both succeed, and the links are in place.
mkdir "$far/bin"
mkdir "$work/t"
ln -s "$far/bin" "$work/t/bin"
"$tree" lay "$toolchain" "$work/t"
failed=0 i=0
while [ $i -lt 300 ]; do
	"$bin/mklinks-toolchain" "$work/t" >/dev/null 2>"$work/err1" &
	first=$!
	"$bin/mklinks-toolchain" "$work/t" >/dev/null 2>"$work/err2" || { failed=$((failed + 1)); cat "$work/err2"; }
	wait $first || { failed=$((failed + 1)); cat "$work/err1"; }
	"$bin/cklinks-toolchain" "$work/t" || failed=$((failed + 1))
	i=$((i + 1))
done
echo "two installers copying: $failed failures in 300 rounds"
[ "$failed" = 0 ]
