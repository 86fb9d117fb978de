// Compiled once per case by the tests: each ROW is a row that must stop the
// build or, for the good ones, compile; with no ROW the table must compile.
// Permission changes fill rows 2 to 11, so that ROW is row 12.
#include <iterator>

#include "link_table.h"

constexpr link_entry rows[] = {
	{ENTRY_HARDLINK, {"bin/tool"}, "bin/alias"},
	{ENTRY_SYMLINK, {"lib.so.1"}, "lib/lib.so"},
#define FILL {ENTRY_CHMOD, {.mode = 0755}, "bin/tool"}
	FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL, FILL,
#ifdef ROW
	ROW,
#endif
};
static_assert(table_check::check_table<rows>());
