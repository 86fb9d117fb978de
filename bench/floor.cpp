// The floor for a clean run: the system calls a component's link rows need
// and nothing else, with none of mklinks' checks, trace or copy fallback.
#include <unistd.h>

#include "link_entry.h"

int main(int argc, char *argv[])
{
	if (argc < 2 || chdir(argv[1]) == -1)
		return 1;
	for (std::size_t i = 0; i < link_table_size; i++) {
		const link_entry &e = link_table[i];
		unlink(e.path);
		if ((e.type == ENTRY_SYMLINK ? symlink(e.target, e.path) : link(e.target, e.path)) == -1)
			return 1;
	}
	return 0;
}
