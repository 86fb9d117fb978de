// The creator and the remover run against the modes component.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "harness.h"

namespace {

// Permission changes set every bit as given, cp is left nothing of the
// probe of a conditional target, and the remover, built from the links
// alone, removes them and leaves every path of a permission change. The
// manual pages show every name as it stands.
TEST(Modes, KeepsEveryBitAndRemovesOnlyLinks)
{
	scratch s;
	lay(s.dir);
	fs::create_directories(s.dir / "data/dir");
	fs::create_directory(s.dir / "stub");
	// The shell waits while ls lists its descriptors, so none comes or goes
	// meanwhile, as one would while the shell set up a pipe.
	spill(s.dir / "stub/cp", "#!/bin/sh\n/bin/ls -l /proc/$$/fd >stub/fds\n! /bin/grep 'data/dir$' stub/fds\n",
	      fs::perms(0755));
	outcome o = run(s.dir, program("mklinks-modes"), {{".", "-v"}, (s.dir / "stub").string()});
	std::string want = "Verbose mode.\n";
	for (std::size_t i = 0; i < link_table_size; i++)
		want += expect(link_table[i], way::copy);
	EXPECT_EQ(o.out + o.err, want);
	EXPECT_EQ(o.status, 0);
	for (std::size_t i : {0, 1, 3})
		EXPECT_EQ(fs::status(s.dir / link_table[i].path).permissions(), fs::perms(link_table[i].mode));
	// The stub made no copy, a mode changed since is named with the one the
	// path has instead, and a target that cannot be looked at is present.
	fs::permissions(s.dir / link_table[1].path, fs::perms(0640));
	fs::remove(s.dir / link_table[2].target);
	fs::create_symlink("dir", s.dir / link_table[2].target);
	o = run(s.dir, program("cklinks-modes"), {{"."}});
	EXPECT_EQ(o.out, complaint(link_table[1], fault::mode, "640") + complaint(link_table[2], fault::missing));
	EXPECT_EQ(o.status, 1);

	spill(s.dir / "links/dir", "old");
	o = run(s.dir, program("rmlinks-modes"), {{"."}});
	EXPECT_EQ(o.out + o.err, "");
	EXPECT_EQ(o.status, 0);
	for (std::size_t i = 0; i < link_table_size; i++)
		EXPECT_EQ(fs::exists(s.dir / link_table[i].path), link_table[i].type == ENTRY_CHMOD) << link_table[i].path;

	// A mode is shown with four digits, and a name as its bytes.
	for (const char *page : {"mklinks-modes.1", "cklinks-modes.1"}) {
		std::string text = render(program(page));
		EXPECT_NE(text.find(link_table[3].path), std::string::npos) << text;
		EXPECT_NE(text.find(" 0044."), std::string::npos) << text;
		EXPECT_NE(text.find("odd/\?\?!\?\?/\?\?=\\302\\233\\233\\205\\351 "), std::string::npos) << text;
	}
	std::string removes = render(program("rmlinks-modes.1"));
	for (std::size_t i = 0; i < link_table_size; i++)
		EXPECT_EQ(removes.find(std::string("Remove ") + link_table[i].path) != std::string::npos,
			  link_table[i].type != ENTRY_CHMOD) << removes;
}

} // namespace
