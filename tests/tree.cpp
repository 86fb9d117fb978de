// tree-COMPONENT lay DIR: lay out the files a component's links point at.
// tree-COMPONENT list DIR: list every entry under DIR with its kind, mode,
// link count and content.
#include <cstdio>
#include <cstring>

#include "harness.h"

int main(int argc, char *argv[])
{
	if (argc == 3 && strcmp(argv[1], "lay") == 0) {
		lay(argv[2]);
		return 0;
	}
	if (argc == 3 && strcmp(argv[1], "list") == 0) {
		fputs(listing(argv[2]).c_str(), stdout);
		return 0;
	}
	fputs("usage: tree-COMPONENT lay|list DIR\n", stderr);
	return 2;
}
