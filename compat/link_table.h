// The link table: one constant row per file-system action of a component.
//
// The build writes each component's table from its list (or takes one
// written in C++) as a source that defines link_table and link_table_size,
// once every row has been checked, so that a bad row stops the build instead
// of damaging an installation directory.
#pragma once

#include <iterator>	// for the std::size of tables written in C++

#include "link_entry.h"

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
