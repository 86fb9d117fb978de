#!/bin/sh
# recipe.sh SOURCE SCRATCH: run the README's recipe for adding a component,
# as it stands, twice, in a copy of the source with a stage of ours, in a
# fresh directory under SCRATCH, and require each time that the tree it
# installs is the stage as it was laid (links, copies that are hard links
# again, owners, modes and file capabilities) and that the stage is as it
# was.
set -eu
source=$1
mkdir -p "$2"
work=$(mktemp -d "$2/recipe-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/clone"
# The files of the source as they are, committed or not, but no build.
(cd "$source" && git ls-files -co --exclude-standard -z 2>/dev/null || find . -path ./.git -prune -o \
	-path './build*' -prune -o -type f -print0) |
	(cd "$source" && xargs -0 tar -cf -) | tar -C "$work/clone" -xf -
cd "$work/clone"
sh "$source/tests/lslinks/stage.sh" stage
sh "$source/tests/lslinks/stage.sh" "$work/laid"
# The first sh block after the heading, as a reader would paste it.
sed -n '/^## Adding a component/,$p' README.md | sed -n '/^```sh$/,/^```$/p' | sed '1d;/^```$/,$d' >recipe
echo "--- the recipe:"
cat recipe
# A symbolic link with two names comes back as two, so its count is no
# part of what must come back.
listing() {
	(cd "$1" && find . -mindepth 1 \( -type l -printf '%P %y %u:%g %l\n' \) -o -printf '%P %y %u:%g %m %n\n' &&
		/sbin/getcap -r .) | LC_ALL=C sort
}
listing "$work/laid" >laid.txt
# Only root can give the stage its capabilities.
[ "$(id -u)" != 0 ] || grep -q ' cap_net_raw=ep$' laid.txt || { echo "the stage has no capabilities to carry"; exit 1; }
for pass in 1 2; do
	sh -ex recipe >log 2>&1 || { cat log; exit 1; }
	listing installed >installed.txt
	listing stage >stage.txt
	for tree in installed stage; do
		if ! cmp -s laid.txt $tree.txt; then
			echo "--- pass $pass: $tree is not the stage as laid"
			diff laid.txt $tree.txt
			exit 1
		fi
	done
	[ -x tools/bin/mklinks-mycomp ] || { echo "pass $pass: the component was not installed"; exit 1; }
done
[ "$(grep -c '^links_component(mycomp' CMakeLists.txt)" = 1 ] || { echo "the component was declared twice"; exit 1; }
echo "--- installed is the stage as laid, twice: $(wc -l <laid.txt) entries, links, owners, modes and capabilities"
