#!/bin/sh
# table_check.sh INCLUDE SOURCE DEFINE COMPILER...: compile SOURCE, with the
# row DEFINE adds (none if it is empty), under each compiler, and print the
# first lines each writes, where a message must name the row and the rule.
# Exits with 1 if any compiler refused it.
include=$1 source=$2 define=$3
shift 3
status=0
for cxx; do
	out=$("$cxx" -std=c++20 -fsyntax-only -I"$include" ${define:+"$define"} "$source" 2>&1) || status=1
	printf '%s\n' "$out" | head -n 8
done
exit $status
