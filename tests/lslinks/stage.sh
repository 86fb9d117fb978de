#!/bin/sh
# stage.sh DIR: lay out in DIR a staged tree with every kind of link that
# lslinks lists: symbolic-link chains, a file under several names in several
# directories, a hard link to a symbolic link, a dangling link, a link to a
# directory, an absolute one, and names with blanks, quotes and UTF-8; and
# the modes archives drop: a set-user-ID program under two names, a
# set-group-ID one, a sticky directory and a program with file
# capabilities, with a file deep down.
set -e
rm -rf "$1"
mkdir -p "$1"
cd "$1"
mkdir -p lib bin share/tool share/doc etc
printf lib >lib/libfoo.so.1.2.3
ln -s libfoo.so.1.2.3 lib/libfoo.so.1
ln -s libfoo.so.1 lib/libfoo.so
printf tool >bin/tool-1.2
ln bin/tool-1.2 bin/tool
ln bin/tool-1.2 share/tool/alias
ln -s libfoo.so lib/libbar.so
ln -P lib/libbar.so lib/libbaz.so
ln -s nowhere share/dangling
ln -s doc share/latest
ln -s /etc/hostname etc/abs
printf doc >"share/doc/read me"
ln "share/doc/read me" "share/doc/it's \"quoted\" \\ café"
ln -s "read me" "share/doc/a link"
printf su >bin/su-1.0
chmod 4755 bin/su-1.0
ln bin/su-1.0 bin/su
printf wall >bin/wall
chgrp nogroup bin/wall 2>/dev/null || :	# a group of its own, where we may give one
chmod 2711 bin/wall
printf ping >bin/ping
chmod 755 bin/ping
setcap cap_net_raw=ep bin/ping 2>/dev/null || :	# where we may
mkdir -m 1777 tmp
deep=share/deep
for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do deep=$deep/directory-$i; done
mkdir -p "$deep"
printf deep >"$deep/file"
ln "$deep/file" share/file
