// The pages linklist writes for the fixture component.
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

// Each program's page words each kind of row in its own order, and the
// remover's says how many rows the unnamed code leaves in place.
TEST(Fixture, PagesWordEachKindOfRow)
{
	const std::pair<const char *, const char *> cases[] = {
		{"tests/rmlinks-fixture.1", "4.   Stop with the message unsupported type: -1 and exit status 1, leaving "
				      "links/odd and the paths of the 0 rows after it in place"},
		{"tests/mklinks-fixture.1", "0.   Where data/present exists, replace links/cond-present by a hard link to it"},
		{"tests/cklinks-fixture.1", "0.   Where data/present exists, the path links/cond-present is a hard link to it"},
		{"tests/mklinks-fixture.1", "5.   Set the permission bits of data/present to 0640."},
	};
	for (const auto &[page, line] : cases)
		EXPECT_NE(render(program(page)).find(line), std::string::npos) << page << ": " << line;
}

} // namespace
