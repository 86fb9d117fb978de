// rmlinks: remove, inside a component's installation directory, the path of
// every row of its link table, undoing what mklinks made.
//
// usage: rmlinks-COMPONENT directory
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "beneath.h"
#include "link_entry.h"
#include "say.h"

int main(int argc, char *argv[])
{
	if (argc < 2) {
		complain("missing arguments\n");
		return 1;
	}
	if (chdir(argv[1]) == -1) {
		complain("unable to chdir to %q\n", argv[1]);
		return 1;
	}

	for (std::size_t i = 0; i < link_table_size; i++) {
		const link_entry &e = link_table[i];
		switch (e.type) {
		case ENTRY_HARDLINK:
		case ENTRY_SYMLINK:
		case ENTRY_CONDLINK: {
			// A path that is already gone, or a directory that is
			// not empty, is left as it is without complaint; one
			// that only a link someone else could have put there
			// leads to is never touched.
			place p;
			switch (locate(e.path, p)) {
			case reach::found:
				// As remove(3): a file, a link itself, or an
				// empty directory.
				if (unlinkat(p.dir, p.name, 0) == -1 && errno == EISDIR)
					unlinkat(p.dir, p.name, AT_REMOVEDIR);
				continue;
			case reach::failed:
				continue;
			case reach::refused:
				break;
			}
			complain("refusing %q: %s\n", e.path, unsafe_link);
			return 1;
		}
		case ENTRY_CHMOD:
		case ENTRY_OWNER:
		case ENTRY_CAPS:
			break;
		}
		// A permission, owner or capability change made nothing to take away, and an
		// unnamed code may have made anything; refuse rather than guess.
		complain("unsupported type: %d\n", static_cast<int>(e.type));
		return 1;
	}
	return 0;
}
