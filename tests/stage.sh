#!/bin/sh
# stage.sh DIR: lay out in DIR a staged tree with every kind of link that
# lslinks lists: symbolic-link chains, a file under several names in several
# directories, a hard link to a symbolic link, a dangling link, a link to a
# directory, an absolute one, and names with blanks, quotes and UTF-8.
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
