// The tree tool that the demo, the tests and the benchmark lay trees with,
// and its scripts of how installers make links without mklinks.
#include <gtest/gtest.h>

#include "toolchain.h"

namespace {

using namespace toolchain_tree;

outcome tool(const fs::path &dir, std::vector<std::string> args)
{
	return run(dir, program("support/tree"), {.args = std::move(args), .native = true});
}

// A symbolic link's target is laid where the link points, beside it.
TEST(TreeTool, LaysALinkTargetBesideTheLink)
{
	scratch s;
	spill(s.dir / "x.links", "symlink lib.so.1 lib/lib.so\nhardlink bin/a bin/b\n");
	ASSERT_EQ(tool(s.dir, {"lay", "x.links", "t"}).status, 0);
	EXPECT_EQ(slurp(s.dir / "t/lib/lib.so.1"), "lib/lib.so.1");
	EXPECT_EQ(slurp(s.dir / "t/bin/a"), "bin/a");
	EXPECT_FALSE(fs::exists(s.dir / "t/lib.so.1"));
}

// Each script makes the toolchain's links, and can be run again.
TEST(TreeTool, ScriptsRunTwice)
{
	const std::pair<const char *, std::vector<std::string>> scripts[] = {
		{"sh", {"/bin/sh", "links.script"}},
		{"cmake", {CMAKE_COMMAND, "-P", "links.script"}},
	};
	for (const auto &[kind, command] : scripts) {
		SCOPED_TRACE(kind);
		scratch s;
		lay(rows, s.dir);
		outcome o = tool(s.dir, {kind, SOURCE_DIR "/components/toolchain.links"});
		ASSERT_EQ(o.status, 0);
		spill(s.dir / "links.script", o.out);
		for (int pass = 0; pass < 2; pass++) {
			outcome r = run(s.dir, command[0], {.args = {command.begin() + 1, command.end()}, .native = true});
			EXPECT_EQ(r.status, 0) << pass << r.err;
			check_made(s.dir, rows.size());
		}
	}
}

// The CMake script closes the if() of every conditional link.
TEST(TreeTool, CMakeScriptClosesEveryIf)
{
	scratch s;
	spill(s.dir / "x.links", "condlink data/a links/a\ncondlink data/b links/b\nhardlink data/a links/c\n");
	fs::create_directories(s.dir / "data"), fs::create_directories(s.dir / "links");
	spill(s.dir / "data/a", "a");
	outcome o = tool(s.dir, {"cmake", "x.links"});
	ASSERT_EQ(o.status, 0);
	spill(s.dir / "links.cmake", o.out);
	outcome r = run(s.dir, CMAKE_COMMAND, {.args = {"-P", "links.cmake"}, .native = true});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(slurp(s.dir / "links/a"), "a");
	EXPECT_FALSE(fs::exists(s.dir / "links/b"));
	EXPECT_EQ(slurp(s.dir / "links/c"), "a");
}

} // namespace
