// The pages linklist writes for the toolchain component.
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

struct page_case {
	const char *page;
	const char *verb;	// that begins each row's item
	bool verbose;		// the usage line offers -v
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const page_case &c, std::ostream *os)
{
	*os << c.page;
}

// Each program's manual page numbers the rows from 0, as the programs count
// them, and names every path in table order, escaped so that groff shows it
// as it stands and never breaks it at a hyphen; its usage line is its own.
const page_case name_every_path_in_order_cases[] = {
	{"mklinks-toolchain.1", "Replace", true},
	{"rmlinks-toolchain.1", "Remove", false},
	{"cklinks-toolchain.1", "The path", false},
};

class NameEveryPathInOrderCase : public testing::TestWithParam<page_case> {};

TEST_P(NameEveryPathInOrderCase, NameEveryPathInOrder)
{
	const page_case &c = GetParam();
	std::string text = slurp(program(c.page)), prog = c.page;
	prog = std::regex_replace(prog.substr(0, prog.size() - 2), std::regex("-"), R"(\-)");
	EXPECT_NE(text.find(".SH SYNOPSIS\n.B " + prog + "\n.I directory\n" + (c.verbose ? ".RB [ \\-v ]\n" : "") +
			    ".SH DESCRIPTION\n"),
		  std::string::npos);
	std::size_t at = 0;
	for (std::size_t i = 0; i < rows.size(); i++) {
		std::string path = std::regex_replace(rows[i].path, std::regex("-"), R"(\-)");
		path = std::regex_replace(path, std::regex("/"), R"(/\:)");
		std::string item = ".TP 5\n" + std::to_string(i) + ".\n" + c.verb + "\n.I" +
				   (c.verb == std::string("Remove") ? "R" : "") + " \"" + path + '"';
		at = text.find(item, at);
		ASSERT_NE(at, std::string::npos) << item;
	}
}

INSTANTIATE_TEST_SUITE_P(Pages, NameEveryPathInOrderCase, testing::ValuesIn(name_every_path_in_order_cases),
			 [](const testing::TestParamInfo<page_case> &i) { return case_name(std::to_string(i.index) + " " + std::string(i.param.page)); });

// A component without rows has pages that say what each program still does.
TEST(Pages, WordAComponentWithoutRows)
{
	const std::pair<const char *, const char *> pages[] = {
		{"mklinks-empty.1", "belongs to a component without links: it only checks its arguments and that it can "
				    "change into directory, then exits with status 0 (with -v, after the line Verbose mode.)."},
		{"rmlinks-empty.1", "has no links to remove: it only checks its arguments and that it can change into "
				    "directory, then exits with status 0."},
		{"cklinks-empty.1", "belongs to a component without links: it only checks its arguments and that it can "
				    "change into directory, then exits with status 0."},
	};
	for (const auto &[page, words] : pages) {
		std::string text = render(program(page));
		std::string flat = std::regex_replace(text, std::regex("\\s+"), " ");
		EXPECT_NE(flat.find(words), std::string::npos) << text;
	}
}

} // namespace
