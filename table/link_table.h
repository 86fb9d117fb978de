// The link table: one constant row per file-system action of a component.
//
// The build writes each component's table from its list (or takes one
// written in C++) as a source that defines link_table and link_table_size,
// once every row has been checked, so that a bad row stops the build instead
// of damaging an installation directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>	// for the std::size of tables written in C++
#include <sys/types.h>

enum entry_type : std::uint32_t {
	ENTRY_HARDLINK = 0,	// replace path by a hard link to target, or a copy
	ENTRY_SYMLINK = 1,	// replace path by a symbolic link holding target
	ENTRY_CONDLINK = 2,	// as ENTRY_HARDLINK, only when target exists
	ENTRY_CHMOD = 3,	// set the permission bits of path to mode
};

struct link_entry {
	entry_type type;
	union {
		const char *target;	// types 0, 1 and 2
		mode_t mode;		// ENTRY_CHMOD
	};
	const char *path;
};

static_assert(sizeof(entry_type) == 4);
static_assert(sizeof(link_entry) == 3 * sizeof(void *));

extern const link_entry *const link_table;
extern const std::size_t link_table_size;

// Tables written in C++ for the first release ended with a line that proved
// their rows sound, such as
//
//	static_assert(table_check::check_table<rows>());
//
// The build now checks the rows of every table itself, whatever its form,
// before any program is compiled, so that line only has to compile.
namespace table_check {

template <const auto &rows>
consteval bool check_table()
{
	return true;
}

consteval bool check_table(const link_entry * /*rows*/, std::size_t /*n*/)
{
	return true;
}

} // namespace table_check
