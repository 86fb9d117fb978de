// Compiled once per case by the tests: each ROW is a row that must stop the
// build or, for the good ones, compile; with no ROW the table must compile.
#include <iterator>

#include "link_table.h"

constexpr link_entry rows[] = {
	{ENTRY_HARDLINK, {"bin/tool"}, "bin/alias"},
	{ENTRY_SYMLINK, {"lib.so.1"}, "lib/lib.so"},
#ifdef ROW
	ROW,
#endif
};
static_assert(table_check::check_table(rows, std::size(rows)), "bad link table");
