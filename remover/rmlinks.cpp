// rmlinks: remove, inside a component's installation directory, the path of
// every row of its link table, undoing what mklinks made.
//
// usage: rmlinks-COMPONENT directory
#include <cstdio>
#include <unistd.h>

#include "link_entry.h"

int main(int argc, char *argv[])
{
	if (argc < 2) {
		dprintf(STDERR_FILENO, "missing arguments\n");
		return 1;
	}
	if (chdir(argv[1]) == -1) {
		dprintf(STDERR_FILENO, "unable to chdir to \"%s\"\n", argv[1]);
		return 1;
	}

	for (std::size_t i = 0; i < link_table_size; i++) {
		const link_entry &e = link_table[i];
		switch (e.type) {
		case ENTRY_HARDLINK:
		case ENTRY_SYMLINK:
		case ENTRY_CONDLINK:
			// A path that is already gone, or a directory that is
			// not empty, is left as it is without complaint.
			remove(e.path);
			continue;
		case ENTRY_CHMOD:
			break;
		}
		// A permission change made nothing to take away, and an unnamed
		// code may have made anything; refuse rather than guess.
		dprintf(STDERR_FILENO, "unsupported type: %d\n", static_cast<int>(e.type));
		return 1;
	}
	return 0;
}
