// A component for the tests alone: it holds the row kinds that the delivered
// tables lack (conditional links, permission changes, an unnamed type code).
#include <iterator>

#include "link_table.h"

namespace {

constexpr link_entry rows[] = {
	{ENTRY_CONDLINK, {"data/present"}, "links/cond-present"},
	{ENTRY_CONDLINK, {"data/absent"}, "links/cond-absent"},
	{ENTRY_SYMLINK, {"present"}, "data/sym"},
	{ENTRY_HARDLINK, {"data/present"}, "links/hard"},
	{static_cast<entry_type>(4294967295U), {"data/present"}, "links/odd"},
	{ENTRY_CHMOD, {.mode = 0640}, "data/present"},
	{ENTRY_CHMOD, {.mode = 0751}, "data/tool"},
};
static_assert(table_check::check_table<rows>());

} // namespace

extern const link_entry *const link_table = rows;
extern const std::size_t link_table_size = std::size(rows);
