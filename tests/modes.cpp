// A second component for the tests alone: permission changes that keep the
// set-user-ID bit or set only a few low bits, and a conditional link to a
// directory, which always has to be copied.
#include <iterator>

#include "link_table.h"

namespace {

constexpr link_entry rows[] = {
	{ENTRY_CHMOD, {.mode = 04755}, "data/tool"},
	{ENTRY_CHMOD, {.mode = 044}, "data/note"},
	{ENTRY_CONDLINK, {"data/dir"}, "links/dir"},
};
static_assert(table_check::check_table<rows>());

} // namespace

extern const link_entry *const link_table = rows;
extern const std::size_t link_table_size = std::size(rows);
