#!/bin/sh
# race.sh PROGRAM_DIR TREE LIST SCRATCH [RUNS ROUNDS]: mklinks-toolchain, in a
# fresh directory under SCRATCH,
# against other processes at work on the same tree.
# - RUNS runs while a process keeps planting, at a hard-link row's path, a
#   symbolic link to a file outside the tree: the file is never written.
# - ROUNDS rounds of two runs at once, with bin/ on another file system, so
#   that both copy the same rows: both succeed, and the links are in place.
set -eu
bin=$1 tree=$2 list=$3 runs=${5:-2000} rounds=${6:-300}
mkdir -p "$4"
work=$(mktemp -d "$4/race-XXXXXX")
far=$(mktemp -d /dev/shm/links-race-XXXXXX)
planter=
trap 'rm -rf "$far" "$work"; [ -z "$planter" ] || kill "$planter" 2>/dev/null || :' EXIT

"$tree" lay "$list" "$work/planted"
printf outside >"$work/outside"
perl -e 'while (1) { unlink $ARGV[1]; symlink $ARGV[0], $ARGV[1] }' \
	"$work/outside" "$work/planted/arm-none-eabi/bin/g++" &
planter=$!
refused=0 i=0
while [ $i -lt "$runs" ]; do
	"$bin/mklinks-toolchain" "$work/planted" >/dev/null 2>"$work/err" || refused=$((refused + 1))
	if [ "$(cat "$work/outside")" != outside ]; then
		echo "run $i wrote through the planted link"
		exit 1
	fi
	i=$((i + 1))
done
kill "$planter"
planter=
echo "planted link: never written through in $runs runs, $refused of them refused"

mkdir "$far/bin"
ln -s "$far/bin" "$work/split"
mkdir "$work/t"
mv "$work/split" "$work/t/bin"
"$tree" lay "$list" "$work/t"
failed=0 i=0
while [ $i -lt "$rounds" ]; do
	"$bin/mklinks-toolchain" "$work/t" >/dev/null 2>"$work/err1" &
	first=$!
	"$bin/mklinks-toolchain" "$work/t" >/dev/null 2>"$work/err2" || { failed=$((failed + 1)); cat "$work/err2"; }
	wait $first || { failed=$((failed + 1)); cat "$work/err1"; }
	"$bin/cklinks-toolchain" "$work/t" || failed=$((failed + 1))
	i=$((i + 1))
done
echo "two installers copying: $failed failures in $rounds rounds"
[ "$failed" = 0 ]
