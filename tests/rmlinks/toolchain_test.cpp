// rmlinks run against the toolchain component.
#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>


#include "toolchain.h"

namespace {

using namespace toolchain_tree;

struct removal_case {
	const char *name;
	void (*prepare)(const scratch &s);	// lays the tree
	bool create;				// run mklinks first
	int runs;				// of rmlinks
	std::vector<std::string> gone;		// prepared paths rmlinks removes
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const removal_case &c, std::ostream *os)
{
	*os << c.name;
}

const removal_case gives_back_the_tree_as_it_was_cases[] = {
	{"round trip", [](const scratch &s) { lay(rows, s.dir); }, true, 1, {}},
	{"round trip with copies", lay_split, true, 1, {}},
	{"removed twice", [](const scratch &s) { lay(rows, s.dir); }, true, 2, {}},
	{"never created", [](const scratch &s) { lay(rows, s.dir); }, false, 1, {}},
	{"directories at paths",
	 [](const scratch &s) {
		 lay(rows, s.dir);
		 fs::create_directory(s.dir / "bin/arm-none-eabi-nm");
		 fs::create_directories(s.dir / "bin/arm-none-eabi-ld/full");
	 },
	 false, 1, {"bin/arm-none-eabi-nm"}},
	{"symbolic link at a path",
	 [](const scratch &s) {
		 lay(rows, s.dir);
		 fs::create_symlink("c++", s.dir / "arm-none-eabi/bin/g++");
	 },
	 false, 1, {"arm-none-eabi/bin/g++"}},
};

class GivesBackTheTreeAsItWasCase : public testing::TestWithParam<removal_case> {};

TEST_P(GivesBackTheTreeAsItWasCase, GivesBackTheTreeAsItWas)
{
	const removal_case &c = GetParam();
	scratch s;
	c.prepare(s);
	std::string want;
	std::istringstream prepared(both(s));
	for (std::string line; std::getline(prepared, line);)
		if (std::none_of(c.gone.begin(), c.gone.end(),
				 [&](const std::string &p) { return line.starts_with(p + "  "); }))
			want += line + "\n";
	std::string all_missing;
	for (std::size_t i = 0; i < rows.size(); i++)
		all_missing += complaint(rows[i], fault::missing);
	if (c.create) {	// and the checker finds every link in place
		EXPECT_EQ(run(s.dir, program("mklinks-toolchain"), {{"."}}).status, 0);
		outcome k = run(s.dir, program("cklinks-toolchain"), {{"."}});
		EXPECT_EQ(k.out + k.err, "");
		EXPECT_EQ(k.status, 0);
	}
	for (int i = 0; i < c.runs; i++) {
		outcome o = run(s.dir, program("rmlinks-toolchain"), {{"."}});
		EXPECT_EQ(o.out, "");
		EXPECT_EQ(o.err, "");
		EXPECT_EQ(o.status, 0);
	}
	EXPECT_EQ(both(s), want);
	if (c.create) {
		outcome k = run(s.dir, program("cklinks-toolchain"), {{"."}});
		EXPECT_EQ(k.out, all_missing);
		EXPECT_EQ(k.status, 1);
	}
}

INSTANTIATE_TEST_SUITE_P(Remover, GivesBackTheTreeAsItWasCase, testing::ValuesIn(gives_back_the_tree_as_it_was_cases),
			 [](const testing::TestParamInfo<removal_case> &i) { return case_name(std::to_string(i.index) + " " + std::string(i.param.name)); });

} // namespace
