// The command line of every program, whatever its component.
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

struct args_case {
	const char *prog;
	std::vector<std::string> args;
	const char *out;
	const char *err;
	int status;
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const args_case &c, std::ostream *os)
{
	*os << c.prog << " " << testing::PrintToString(c.args);
}

const args_case checks_arguments_and_directory_cases[] = {
	{"mklinks-empty", {}, "", "missing arguments\n", 1},
	{"mklinks-toolchain", {}, "", "missing arguments\n", 1},
	{"mklinks-empty", {"inst", "-v"}, "Verbose mode.\n", "", 0},
	{"mklinks-empty", {"inst", "-verbose"}, "Verbose mode.\n", "", 0},
	{"mklinks-empty", {"inst", "-v", "-x", "more"}, "Verbose mode.\n", "", 0},
	{"mklinks-empty", {"inst"}, "", "", 0},
	{"mklinks-empty", {"inst", "-x"}, "", "", 0},
	{"mklinks-empty", {"inst", "-"}, "", "", 0},
	{"mklinks-empty", {"inst", "v"}, "", "", 0},
	{"mklinks-empty", {"inst", "xv"}, "", "", 0},
	{"mklinks-empty", {"inst", "", "-v"}, "", "", 0},
	{"mklinks-empty", {"-v"}, "", "unable to chdir to \"-v\": No such file or directory\n", 1},
	{"mklinks-empty", {"gone", "-v"}, "", "unable to chdir to \"gone\": No such file or directory\n", 1},
	{"mklinks-toolchain", {"file", "-v"}, "", "unable to chdir to \"file\": Not a directory\n", 1},
	{"rmlinks-empty", {}, "", "missing arguments\n", 1},
	{"rmlinks-toolchain", {}, "", "missing arguments\n", 1},
	{"rmlinks-empty", {"inst"}, "", "", 0},
	{"rmlinks-toolchain", {"inst", "-v", "more"}, "", "", 0},
	{"rmlinks-empty", {"-v"}, "", "unable to chdir to \"-v\"\n", 1},
	{"rmlinks-toolchain", {"file"}, "", "unable to chdir to \"file\"\n", 1},
	{"cklinks-empty", {}, "", "missing arguments\n", 2},
	{"cklinks-toolchain", {}, "", "missing arguments\n", 2},
	// The checker takes its option after the directory too, and refuses
	// what it does not know.
	{"cklinks-empty", {"inst", "-v", "more"}, "", "usage: cklinks-empty [--no-copies] directory\n", 2},
	{"cklinks-empty", {"-v"}, "", "usage: cklinks-empty [--no-copies] directory\n", 2},
	{"cklinks-empty", {"inst", "inst"}, "", "usage: cklinks-empty [--no-copies] directory\n", 2},
	{"cklinks-empty", {"inst", "--no-copies"}, "", "", 0},
	{"cklinks-empty", {"--", "-v"}, "", "unable to chdir to \"-v\": No such file or directory\n", 2},
	{"cklinks-toolchain", {"file"}, "", "unable to chdir to \"file\": Not a directory\n", 2},
	// Only the checker and the host tools take options; the creator
	// and the remover keep their command lines.
	{"cklinks-empty", {"--no-copies"}, "", "missing arguments\n", 2},
	{"cklinks-empty", {"--no-copies", "inst"}, "", "", 0},
	{"cklinks-empty", {"--help", "inst"},
	 "usage: cklinks-empty [--no-copies] directory\n"
	 "Say whether the component's links are in place under directory.\n\n"
	 "      --no-copies  a copy where a hard link belongs is not in place\n"
	 "      --help       show this and exit\n"
	 "      --version    show the version and exit\n", "", 0},
	{"cklinks-toolchain", {"--version"}, "cklinks (mklinks) 1.2.0\n", "", 0},
	{"mklinks-empty", {"--help"}, "", "unable to chdir to \"--help\": No such file or directory\n", 1},
	{"rmlinks-empty", {"--version"}, "", "unable to chdir to \"--version\"\n", 1},
	{"lslinks", {"--help"},
	 "usage: lslinks [-a | --all-modes] directory\n"
	 "Write the list of the links under directory, and of the set-user-ID,\n"
	 "set-group-ID and sticky bits there, for a component's mklinks.\n\n"
	 "  -a, --all-modes  a permission row for every regular file and directory\n"
	 "      --help       show this and exit\n"
	 "      --version    show the version and exit\n", "", 0},
	{"lslinks", {"--version"}, "lslinks (mklinks) 1.2.0\n", "", 0},
	{"lslinks", {"inst", "inst"}, "", "usage: lslinks [-a | --all-modes] directory\n", 2},
	{"linklist", {"--version"}, "linklist (mklinks) 1.2.0\n", "", 0},
	{"linklist", {"--help"},
	 "usage: linklist check LIST...\n       linklist generate LIST COMPONENT VERSION DATE DIR [PROGRAM...]\n"
	 "Check component lists as the build does, or write a component's tables\n"
	 "and pages from its list; links(5) describes lists.\n\n"
	 "      --help     show this and exit\n"
	 "      --version  show the version and exit\n", "", 0},
};

class ChecksArgumentsAndDirectoryCase : public testing::TestWithParam<args_case> {};

TEST_P(ChecksArgumentsAndDirectoryCase, ChecksArgumentsAndDirectory)
{
	const args_case &c = GetParam();
	scratch s;
	fs::create_directory(s.dir / "inst");
	spill(s.dir / "inst/file", "x");
	spill(s.dir / "file", "x");
	std::string before = listing(s.dir);
	outcome o = run(s.dir, program(c.prog), {c.args});
	EXPECT_EQ(o.out, c.out);
	EXPECT_EQ(o.err, c.err);
	EXPECT_EQ(o.status, c.status);
	EXPECT_EQ(listing(s.dir), before);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, ChecksArgumentsAndDirectoryCase, testing::ValuesIn(checks_arguments_and_directory_cases),
			 [](const testing::TestParamInfo<args_case> &i) { return case_name(std::to_string(i.index) + " " + i.param.prog + " " + testing::PrintToString(i.param.args)); });

// Help that cannot be written is no success.
TEST(CommandLine, HelpIntoAFullOutputFails)
{
	const std::pair<const char *, int> programs[] = {{"cklinks-empty", 2}, {"lslinks", 1}, {"linklist", 1}};
	for (const auto &[prog, status] : programs) {
		SCOPED_TRACE(prog);
		scratch s;
		outcome o = run(s.dir, program(prog),
				{{"--help"}, "", {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full"}});
		EXPECT_EQ(o.status, status);
		EXPECT_EQ(o.err, "");
	}
}

} // namespace
