# Write OUT, a benchmark component of ROWS hard-link rows: l/<n> links to t/<n>.
set(rows "")
math(EXPR last "${ROWS} - 1")
foreach(n RANGE ${last})
	string(APPEND rows "\t{ENTRY_HARDLINK, {\"t/${n}\"}, \"l/${n}\"},\n")
endforeach()
file(WRITE ${OUT} "// Generated: ${ROWS} hard links, for benchmarks only.
#include <iterator>

#include \"link_table.h\"

namespace {

constexpr link_entry rows[] = {
${rows}};

// Paths and targets lie in separate directories, so no path is a target;
// check each row on its own, which stays cheap at this size.
consteval bool rows_ok()
{
	for (const link_entry &e : rows)
		if (table_check::row_rule(e) != nullptr)
			return false;
	return true;
}
static_assert(rows_ok(), \"bad link table\");

} // namespace

extern const link_entry *const link_table = rows;
extern const std::size_t link_table_size = std::size(rows);
")
