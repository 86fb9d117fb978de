// tree lay LIST DIR: lay out the files the links of a component's list
// point at.
// tree list DIR: list every entry under DIR with its kind, mode, link count
// and content.
// tree sh | cmake LIST: print a shell or CMake script that makes the links
// of a component's list the way installers do without mklinks, for
// comparison.
#include <cstdio>
#include <cstring>

#include "layout.h"

static void shell(const std::vector<link_entry> &rows)
{
	puts("#!/bin/sh\n# One ln, or cp where no hard link can be made, per row.");
	for (const link_entry &e : rows) {
		switch (e.type) {
		case ENTRY_CHMOD:
			printf("chmod %o '%s' || exit 1\n", e.mode, e.path);
			continue;
		case ENTRY_OWNER:
			printf("chown -h '%s' '%s' || exit 1\n", e.target, e.path);
			continue;
		case ENTRY_CAPS:
			printf("setcap '%s' '%s' || exit 1\n", e.target, e.path);
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

static void cmake(const std::vector<link_entry> &rows)
{
	puts("# One file(CREATE_LINK) per row, copying where no hard link can be made.");
	for (const link_entry &e : rows) {
		switch (e.type) {
		case ENTRY_CHMOD:
			printf("file(CHMOD \"%s\" FILE_PERMISSIONS 0%o)\n", e.path, e.mode);
			continue;
		case ENTRY_OWNER:
			printf("execute_process(COMMAND chown -h \"%s\" \"%s\" COMMAND_ERROR_IS_FATAL ANY)\n", e.target, e.path);
			continue;
		case ENTRY_CAPS:
			printf("execute_process(COMMAND setcap \"%s\" \"%s\" COMMAND_ERROR_IS_FATAL ANY)\n", e.target, e.path);
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
	if (argc == 4 && strcmp(argv[1], "lay") == 0) {
		lay(load_list(argv[2]).rows, argv[3]);
		return 0;
	}
	if (argc == 3 && strcmp(argv[1], "list") == 0) {
		fputs(listing(argv[2]).c_str(), stdout);
		return 0;
	}
	if (argc == 3 && strcmp(argv[1], "sh") == 0) {
		shell(load_list(argv[2]).rows);
		return 0;
	}
	if (argc == 3 && strcmp(argv[1], "cmake") == 0) {
		cmake(load_list(argv[2]).rows);
		return 0;
	}
	fputs("usage: tree lay LIST DIR | list DIR | sh LIST | cmake LIST\n", stderr);
	return 2;
}
