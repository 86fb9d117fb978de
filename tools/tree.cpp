// tree-COMPONENT lay DIR: lay out the files a component's links point at.
// tree-COMPONENT list DIR: list every entry under DIR with its kind, mode,
// link count and content.
// tree-COMPONENT sh | cmake: print a shell or CMake script that makes the
// component's links the way installers do without mklinks, for comparison.
#include <cstdio>
#include <cstring>

#include "layout.h"

static void shell()
{
	puts("#!/bin/sh\n# One ln, or cp where no hard link can be made, per row.");
	for (std::size_t i = 0; i < link_table_size; i++) {
		const link_entry &e = link_table[i];
		switch (e.type) {
		case ENTRY_CHMOD:
			printf("chmod %o '%s' || exit 1\n", e.mode, e.path);
			continue;
		case ENTRY_SYMLINK:
			printf("ln -sf '%s' '%s' || exit 1\n", e.target, e.path);
			continue;
		case ENTRY_CONDLINK:
			printf("[ -e '%s' ] && ", e.target);
			break;
		case ENTRY_HARDLINK:
			break;
		}
		printf("{ ln -f '%s' '%s' 2>/dev/null || cp '%s' '%s' || exit 1; }\n", e.target, e.path,
		       e.target, e.path);
	}
}

static void cmake()
{
	puts("# One file(CREATE_LINK) per row, copying where no hard link can be made.");
	for (std::size_t i = 0; i < link_table_size; i++) {
		const link_entry &e = link_table[i];
		switch (e.type) {
		case ENTRY_CHMOD:
			printf("file(CHMOD \"%s\" FILE_PERMISSIONS 0%o)\n", e.path, e.mode);
			continue;
		case ENTRY_SYMLINK:
			printf("file(CREATE_LINK \"%s\" \"%s\" SYMBOLIC)\n", e.target, e.path);
			continue;
		case ENTRY_CONDLINK:
			printf("if(EXISTS \"%s\")\n  ", e.target);
			break;
		case ENTRY_HARDLINK:
			break;
		}
		printf("file(CREATE_LINK \"%s\" \"%s\" COPY_ON_ERROR)\n", e.target, e.path);
		if (e.type == ENTRY_CONDLINK)
			puts("endif()");
	}
}

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
	if (argc == 2 && strcmp(argv[1], "sh") == 0) {
		shell();
		return 0;
	}
	if (argc == 2 && strcmp(argv[1], "cmake") == 0) {
		cmake();
		return 0;
	}
	fputs("usage: tree-COMPONENT lay DIR | list DIR | sh | cmake\n", stderr);
	return 2;
}
