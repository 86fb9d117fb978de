// rmlinks run against the fixture component.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/stat.h>
#include <tuple>
#include <vector>

#include "harness.h"


namespace {

// The rows of the fixture's table, written in C++ and linked in.
const std::vector<link_entry> rows(link_table, link_table + link_table_size);

using enum way;

// The remover refuses the unnamed code after removing the rows before it,
// the skipped conditional path among them, and never touches a target.
TEST(Fixture, RemoverStopsAtTheUnnamedCode)
{
	for (bool create : {true, false}) {
		SCOPED_TRACE(create ? "after mklinks" : "without mklinks");
		scratch s;
		lay(rows, s.dir);
		for (const char *p : {"links/cond-present", "links/cond-absent", "links/odd"})
			spill(s.dir / p, "old");
		if (create) {	// silently, whatever the kind of row
			outcome made = run(s.dir, program("tests/mklinks-fixture"), {{"."}});
			EXPECT_EQ(made.out, "");
			EXPECT_EQ(made.status, 0);
		}
		outcome o = run(s.dir, program("tests/rmlinks-fixture"), {{"."}});
		EXPECT_EQ(o.out, "");
		EXPECT_EQ(o.err, "unsupported type: -1\n");
		EXPECT_EQ(o.status, 1);
		for (std::size_t i = 0; i < rows.size(); i++) {
			bool before_refused = i < 4;
			EXPECT_EQ(fs::exists(fs::symlink_status(s.dir / rows[i].path)), !before_refused)
				<< rows[i].path;
		}
		EXPECT_TRUE(fs::is_regular_file(s.dir / "data/present"));
		EXPECT_TRUE(fs::is_regular_file(s.dir / "data/tool"));
	}
}

} // namespace
