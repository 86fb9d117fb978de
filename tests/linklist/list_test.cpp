// The rules and the list form, run through linklist check as a build and a
// pre-commit hook run it: each case is a list and what it must say. And the
// lists that lslinks writes from a tree, and the round trip of their links.
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "caps.h"
#include "harness.h"

namespace {

struct list_case {
	const char *name;
	std::string rows;	// after the three lines of base, so from line 4
	const char *said;	// on standard error; empty: the list is sound
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const list_case &c, std::ostream *os)
{
	*os << c.name;
}

// A comment, a hard link and a symbolic link, on lines 1 to 3.
const std::string base = "# Lines count from 1, comments and all.\nhardlink bin/tool bin/alias\n"
			 "symlink lib.so.1 lib/lib.so\n";
const std::string long_name(4096, 'd');

const list_case check_names_every_bad_row_at_its_line_cases[] = {
	{"good", "", ""},
	{"empty path", "hardlink bin/tool \"\"", "x.links:4: error: path is empty\n"},
	{"absolute path", "chmod 0755 /bin/tool", "x.links:4: error: path must be relative\n"},
	{"long path", "symlink x " + long_name, "x.links:4: error: path is longer than PATH_MAX\n"},
	{"good: a component of 4095 bytes", "symlink x " + long_name.substr(1), ""},
	{"path climbs out", "hardlink bin/tool bin/../../x",
	 "x.links:4: error: path leaves the installation directory\n"},
	{"path is the directory", "symlink x bin/..",
	 "x.links:4: error: path names the installation directory itself\n"},
	{"path climbs", "hardlink bin/tool bin/../x", "x.links:4: error: path has a .. component\n"},
	{"empty target", "hardlink \"\" bin/other", "x.links:4: error: target is empty\n"},
	{"absolute target", "condlink /bin/tool bin/other", "x.links:4: error: target must be relative\n"},
	{"long target", "hardlink " + long_name + " bin/other",
	 "x.links:4: error: target is longer than PATH_MAX\n"},
	{"target climbs out", "condlink ./../x bin/other",
	 "x.links:4: error: target leaves the installation directory\n"},
	{"target is the directory", "hardlink . bin/other",
	 "x.links:4: error: target names the installation directory itself\n"},
	{"target climbs", "hardlink lib/../bin/tool bin/other", "x.links:4: error: target has a .. component\n"},
	{"target cp takes for an option", "hardlink -rf bin/other",
	 "x.links:4: error: target begins with a dash, which cp would take for an option\n"},
	{"path cp takes for an option", "condlink bin/tool -bin",
	 "x.links:4: error: path begins with a dash, which cp would take for an option\n"},
	{"empty link text", "symlink \"\" bin/other", "x.links:4: error: link text is empty\n"},
	{"long link text", "symlink " + long_name + " bin/other",
	 "x.links:4: error: link text is longer than PATH_MAX\n"},
	{"good: link text that climbs", "symlink ../bin/tool lib/up", ""},
	{"path is a target", "symlink alias bin/tool",
	 "x.links:2: error: target is made by a later row (line 4)\n"},
	{"path is a target, written otherwise", "hardlink bin/x ./bin//tool",
	 "x.links:2: error: target is made by a later row (line 4)\n"},
	{"path is its own target", "condlink bin/./other bin/other",
	 "x.links:4: error: target is the path itself\n"},
	{"link text names the link", "symlink ../lib/loop lib/loop",
	 "x.links:4: error: link text names the link itself\n"},
	{"path made twice", "symlink x bin//alias",
	 "x.links:4: error: path is made by an earlier row too (line 2)\n"},
	{"target is a symbolic link", "hardlink lib/lib.so bin/other",
	 "x.links:4: error: target is made by a symbolic link (line 3)\n"},
	{"path through a symbolic link", "symlink /srv/elsewhere sub\nhardlink bin/tool sub/victim",
	 "x.links:5: error: path passes through a symbolic link that a row makes (line 4)\n"},
	{"path through the first of two links made at one place",
	 "symlink /srv/a sub\nsymlink /srv/b sub\nhardlink bin/tool sub/victim",
	 "x.links:5: error: path is made by an earlier row too (line 4)\n"
	 "x.links:6: error: path passes through a symbolic link that a row makes (line 4)\n"},
	{"path through a later symbolic link", "chmod 4777 sub/victim\nsymlink /srv/elsewhere sub",
	 "x.links:4: error: path passes through a symbolic link that a row makes (line 5)\n"},
	{"target through a symbolic link", "condlink lib/lib.so/x bin/other",
	 "x.links:4: error: target passes through a symbolic link that a row makes (line 3)\n"},
	{"permission change at a symbolic link", "chmod 755 lib/lib.so",
	 "x.links:4: error: permission change at a symbolic link's path, which chmod would follow (line 3)\n"},
	{"mode out of range", "chmod 10000 bin/tool", "x.links:4: error: mode has bits beyond 07777\n"},
	{"good: an owner by name, then the mode it keeps", "owner root:shadow bin/tool\nchmod 2755 bin/tool", ""},
	{"good: owners by number, with odd names, at a link", "owner 0:0 bin/tool\nowner _apt$:systemd-journal lib/lib.so", ""},
	{"owner after the mode it would clear", "chmod 2755 bin/tool\nowner root:shadow bin/tool",
	 "x.links:5: error: owner given after a permission change of the path, whose set-ID bits it would clear (line 4)\n"},
	{"owner without a group", "owner root bin/tool", "x.links:4: error: owner must be USER:GROUP, each a name or a number below 4294967295\n"},
	{"owner with an empty group", "owner root: bin/tool", "x.links:4: error: owner must be USER:GROUP, each a name or a number below 4294967295\n"},
	{"owner beginning with a dash", "owner -r:root bin/tool", "x.links:4: error: owner must be USER:GROUP, each a name or a number below 4294967295\n"},
	{"owner with a $ inside", "owner a$b:root bin/tool", "x.links:4: error: owner must be USER:GROUP, each a name or a number below 4294967295\n"},
	// One past the largest is what chown takes for "leave it", and the
	// next would wrap to root.
	{"good: the largest numbers", "owner 4294967294:04294967294 bin/tool", ""},
	{"owner's user past the largest number", "owner 4294967295:0 bin/tool", "x.links:4: error: owner must be USER:GROUP, each a name or a number below 4294967295\n"},
	{"owner's group wrapping to root's", "owner 0:4294967296 bin/tool", "x.links:4: error: owner must be USER:GROUP, each a name or a number below 4294967295\n"},
	{"owner past any word", "owner 0:18446744073709551616 bin/tool", "x.links:4: error: owner must be USER:GROUP, each a name or a number below 4294967295\n"},
	{"good: capabilities as they are written", "caps cap_net_raw=ep bin/tool\ncaps \"CAP_SETUID,cap_setgid+ep 40+pe\" bin/tool\n"
	 "caps \"all=p cap_sys_admin-p\" bin/tool\ncaps = bin/tool\ncaps \"=ep cap_chown-eip\" bin/tool", ""},
	{"owner after the capabilities it would clear", "caps cap_net_raw=ep bin/tool\nowner root:root bin/tool",
	 "x.links:5: error: owner given after capabilities of the path, which a change of owner clears (line 4)\n"},
	{"capabilities at a symbolic link", "caps cap_net_raw=ep lib/lib.so",
	 "x.links:4: error: capabilities at a symbolic link's path, which holds none (line 3)\n"},
	{"unknown capability", "caps cap_net_rawx=ep bin/tool", "x.links:4: error: capabilities: unknown capability name\n"},
	{"unknown capability, but for its first letter", "caps dap_chown=ep bin/tool", "x.links:4: error: capabilities: unknown capability name\n"},
	{"capability beyond 63", "caps 64=ep bin/tool", "x.links:4: error: capabilities: unknown capability name\n"},
	{"capability numbered with a leading 0", "caps 07=ep bin/tool", "x.links:4: error: capabilities: unknown capability name\n"},
	{"capability without flags", "caps cap_chown bin/tool",
	 "x.links:4: error: capabilities: a clause needs an operator, '=', '+' or '-', and flags\n"},
	{"capability flag unknown", "caps cap_chown=epx bin/tool", "x.links:4: error: capabilities: flags are 'e', 'i' and 'p'\n"},
	{"capabilities with an empty name", "caps cap_chown,,cap_kill=ep bin/tool",
	 "x.links:4: error: capabilities: a name is missing between commas\n"},
	{"capabilities ending in a comma", "caps cap_chown,=ep bin/tool",
	 "x.links:4: error: capabilities: a name is missing between commas\n"},
	{"capability added without flags", "caps cap_chown+ bin/tool", "x.links:4: error: capabilities: '+' and '-' need flags\n"},
	{"every capability added without a name", "caps +ep bin/tool",
	 "x.links:4: error: capabilities: only '=' may stand for every capability without a name\n"},
	{"capabilities empty", "caps \" \" bin/tool", "x.links:4: error: capabilities: none are given\n"},
	{"effective for some capabilities only", "caps \"cap_chown=ep cap_kill=p\" bin/tool",
	 "x.links:4: error: capabilities: the effective flag goes with every capability that has 'p' or 'i', or with none\n"},
	{"effective without a set", "caps cap_chown=e bin/tool",
	 "x.links:4: error: capabilities: the effective flag goes with every capability that has 'p' or 'i', or with none\n"},
	{"mode not octal", "chmod 0758 bin/tool", "x.links:4: error: mode is octal: 8 and 9 are not octal digits\n"},
	{"mode not a number", "chmod u+x bin/tool", "x.links:4: error: mode must be an octal number, such as 755\n"},
	{"good: modes as chmod reads them", "chmod 755 bin/tool\nchmod 0755 bin/tool\nchmod 04755 bin/tool\n"
					   "chmod 1777 bin/alias\nchmod 7777 bin/tool", ""},
	{"good: absolute link text", "symlink /usr/lib/lib.so.1 bin/other", ""},
	{"good: link text names a later row's path", "hardlink bin/tool lib/lib.so.1", ""},
	{"good: symbolic-link chain", "symlink lib.so.1.2 lib/lib.so.1", ""},
	{"good: hard-link chain", "hardlink bin/alias bin/other", ""},
	{"good: target a prefix of a path", "hardlink bin/tool bin/toolbox", ""},
	{"good: path shares a prefix with a link's directory", "hardlink bin/tool lib-lib.so.1", ""},
	{"good: quoted, blank, indented and UTF-8",
	 "  # an indented comment\n\t\n#\ta comment with a tab\nsymlink \"a b\" \"dir/with blank\"\n"
	 "hardlink\tbin/tool\t\t\"bin/\\\"q\\\" \\\\ x\"\nhardlink bin/tool bin/caf\xc3\xa9", ""},
	{"quote outside quotes", "hardlink bin/to\"ol bin/x",
	 "x.links:4: error: a field that holds \" or \\ must be written in double quotes\n"},
	{"backslash outside quotes", "hardlink bin\\tool bin/x",
	 "x.links:4: error: a field that holds \" or \\ must be written in double quotes\n"},
	{"other backslash in quotes", "hardlink \"bin\\tool\" bin/x",
	 "x.links:4: error: in double quotes, a backslash may stand only before \" or \\\n"},
	{"quote not closed", "hardlink \"bin/tool bin/x",
	 "x.links:4: error: a quoted field does not end on its line\n"},
	{"text after a quote", "hardlink \"bin\"tool bin/x",
	 "x.links:4: error: a quoted field must be followed by a blank or the end of the line\n"},
	{"control character", "hardlink bin/tool bin/\ax",
	 "x.links:4: error: the list holds a control character (0x07), which no field may hold\n"},
	{"tab in quotes", "hardlink \"bin\ttool\" bin/x",
	 "x.links:4: error: the list holds a control character (0x09), which no field may hold\n"},
	{"delete", "hardlink bin/tool bin/\x7f",
	 "x.links:4: error: the list holds a control character (0x7f), which no field may hold\n"},
	{"DOS line ends, each named and its row checked", "hardlink bin/tool bin/a\r\nchmod 9 bin/b\r\n#\r\n",
	 "x.links:4: error: the list has DOS line ends: a carriage return ends the line\n"
	 "x.links:5: error: the list has DOS line ends: a carriage return ends the line\n"
	 "x.links:5: error: mode is octal: 8 and 9 are not octal digits\n"
	 "x.links:6: error: the list has DOS line ends: a carriage return ends the line\n"},
	{"control character in a comment", "# a \x1b[1m comment",
	 "x.links:4: error: the list holds a control character (0x1b), which no field may hold\n"},
	{"comment after a row", "hardlink bin/tool bin/x # why",
	 "x.links:4: error: a comment takes a whole line: a # after a row's fields is no comment\n"},
	{"comment glued to its #", "hardlink bin/tool bin/x #why",
	 "x.links:4: error: a comment takes a whole line: a # after a row's fields is no comment\n"},
	{"empty mode", "chmod \"\" bin/tool", "x.links:4: error: mode must be an octal number, such as 755\n"},
	{"mode past the type, never wrapped", "chmod 100000000000000000000000000000000000000 bin/tool",
	 "x.links:4: error: mode has bits beyond 07777\n"},
	{"unknown type that holds an escape sequence", "\x9b" "2Jlink bin/tool bin/x",
	 "x.links:4: error: unknown row type \"\\233" "2Jlink\": a row is hardlink, symlink, condlink, chmod, owner or caps\n"},
	{"type words are exact", "hardlinks bin/tool bin/x",
	 "x.links:4: error: unknown row type \"hardlinks\": a row is hardlink, symlink, condlink, chmod, owner or caps\n"},
	// The later row named is the first, and a later maker outweighs an
	// earlier symbolic link; findings come in line order, whichever
	// pass found them.
	{"target made by two later rows", "hardlink bin/t2 bin/z\nhardlink bin/tool bin/t2\n"
					  "symlink x bin/t2\nhardlink /abs bin/q",
	 "x.links:4: error: target is made by a later row (line 5)\n"
	 "x.links:6: error: path is made by an earlier row too (line 5)\n"
	 "x.links:7: error: target must be relative\n"},
	{"target made by an earlier symbolic link and a later row",
	 "symlink x bin/s\nhardlink bin/s bin/h\nhardlink bin/tool bin/s",
	 "x.links:5: error: target is made by a later row (line 6)\n"
	 "x.links:6: error: path is made by an earlier row too (line 4)\n"},
	{"good: absolute link text outside, a dash after ./, a path under a conditional link",
	 "symlink /other other\nhardlink bin/tool ./-x\ncondlink bin/tool bin/c\nhardlink bin/tool bin/c/x", ""},
	{"two fields", "hardlink bin/tool",
	 "x.links:4: error: a row has three fields: its type, its target or mode, and its path\n"},
	{"four fields", "hardlink bin/tool bin/my tool",
	 "x.links:4: error: a row has three fields; write a field that holds a blank in double quotes\n"},
	{"unknown type", "softlink bin/tool bin/x",
	 "x.links:4: error: unknown row type \"softlink\": a row is hardlink, symlink, condlink, chmod, owner or caps\n"},
	{"every bad row", "chmod 9 bin/tool\nhardlink bin/tool bin/ok\nhardlink /x bin/y",
	 "x.links:4: error: mode is octal: 8 and 9 are not octal digits\n"
	 "x.links:6: error: target must be relative\n"},
	// Long enough to be checked in two halves side by side: rows of one
	// half bear on rows of the other, and each half's findings come in
	// order of line.
	{"a long list, its rows bearing on each other across the halves",
	 [] {
		 std::string rows = "hardlink bin/t9 bin/early\nsymlink x s\n";
		 for (int i = 0; i < 20000; i++)
			 rows += "chmod 0644 d/f" + std::to_string(i) + "\n";
		 return rows + "hardlink /abs bin/q\nchmod 0755 s/under\nowner root:root d/f0\nhardlink bin/tool bin/t9";
	 }(),
	 "x.links:4: error: target is made by a later row (line 20009)\n"
	 "x.links:20006: error: target must be relative\n"
	 "x.links:20007: error: path passes through a symbolic link that a row makes (line 5)\n"
	 "x.links:20008: error: owner given after a permission change of the path, whose set-ID bits it would clear "
	 "(line 6)\n"},
};

class CheckNamesEveryBadRowAtItsLineCase : public testing::TestWithParam<list_case> {};

TEST_P(CheckNamesEveryBadRowAtItsLineCase, CheckNamesEveryBadRowAtItsLine)
{
	const list_case &c = GetParam();
	scratch s;
	spill(s.dir / "x.links", base + c.rows + "\n");
	outcome o = run(s.dir, linklist(), {.args = {"check", "x.links"}, .native = true});
	EXPECT_EQ(o.err, c.said);
	EXPECT_EQ(o.out, "");
	EXPECT_EQ(o.status, *c.said == '\0' ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(List, CheckNamesEveryBadRowAtItsLineCase, testing::ValuesIn(check_names_every_bad_row_at_its_line_cases),
			 [](const testing::TestParamInfo<list_case> &i) { return case_name(std::to_string(i.index) + " " + std::string(i.param.name)); });

// Capabilities as the build turns their text into the attribute, read
// back as lslinks writes them: names in any case or by number, every
// operator, and the flags that come last winning.
struct caps_case {
	const char *name;
	const char *text;
	const char *back;	// the text lslinks would write for the attribute
};

[[maybe_unused]] void PrintTo(const caps_case &c, std::ostream *os)
{
	*os << c.name;
}

const caps_case caps_cases[] = {
	{"one capability", "cap_net_raw=ep", "cap_net_raw=ep"},
	{"in capitals, added", "CAP_NET_RAW+ep", "cap_net_raw=ep"},
	{"two, in order of number", "cap_setuid,cap_setgid+ep", "cap_setgid,cap_setuid=ep"},
	{"taken away again", "cap_chown,cap_kill+p cap_chown-p+i", "cap_chown=i cap_kill=p"},
	{"set anew by =", "cap_chown=eip cap_chown=p", "cap_chown=p"},
	{"above 31, by name and by number", "cap_checkpoint_restore,41=ei", "cap_checkpoint_restore,41=ei"},
	{"every one, but one", "all=p cap_chown-p all-p cap_kill+p", "cap_kill=p"},
	{"none", "=", "="},
	{"numbers with every digit", "7,8,9,10,23,45,63+p 23,39-p", "cap_setuid,cap_setpcap,cap_linux_immutable,cap_net_bind_service,45,63=p"},
};

class CapsCase : public testing::TestWithParam<caps_case> {};

TEST_P(CapsCase, TurnsTextIntoTheAttributeAndBack)
{
	const caps_case &c = GetParam();
	unsigned char bytes[caps_size];
	ASSERT_EQ(caps_encode(c.text, bytes), nullptr);
	EXPECT_EQ(caps_text(bytes, sizeof bytes), c.back);
	EXPECT_EQ(caps_field(c.text), std::string(c.text) + '\0' + std::string(reinterpret_cast<char *>(bytes), caps_size));
}

INSTANTIATE_TEST_SUITE_P(List, CapsCase, testing::ValuesIn(caps_cases),
			 [](const testing::TestParamInfo<caps_case> &i) { return case_name(i.param.name); });

// The attribute as the kernel keeps it, byte for byte, and as other
// revisions hold it.
TEST(List, CapsAreTheKernelsBytes)
{
	unsigned char bytes[caps_size];
	ASSERT_EQ(caps_encode("cap_net_raw=ep cap_chown=ei", bytes), nullptr);
	const unsigned char kernel[caps_size] = {1, 0, 0, 2, 0, 0x20, 0, 0, 1, 0, 0, 0};
	EXPECT_EQ(std::string(bytes, bytes + caps_size), std::string(kernel, kernel + caps_size));
	const unsigned char one[12] = {0, 0, 0, 1, 0, 0x20, 0, 0, 0, 0, 0, 0};
	EXPECT_EQ(caps_text(one, sizeof one), "cap_net_raw=p");
	const unsigned char three[24] = {0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
	EXPECT_EQ(caps_text(three, sizeof three), "cap_bpf=p");
	EXPECT_EQ(caps_text(one, 11), "");
	EXPECT_EQ(caps_text(three, 20), "");
}

// A sound list whose tables or pages cannot be written fails all the same.
// linklist runs on the build machine, whatever the programs' target.
TEST(List, GenerateFailsWhereItCannotWrite)
{
	scratch s;
	spill(s.dir / "x.links", base);
	fs::create_directories(s.dir / "out/rmlinks-x.1");	// a page in the way of the second
	fs::create_directories(s.dir / "full"), fs::create_directories(s.dir / "fullpage");
	fs::create_symlink("/dev/full", s.dir / "full/x.table.cpp");	// no room for a table
	fs::create_symlink("/dev/full", s.dir / "fullpage/cklinks-x.1");	// nor for a page
	for (const char *dir : {"gone", "out", "full", "fullpage"}) {
		SCOPED_TRACE(dir);
		outcome o = run(s.dir, linklist(),
				{.args = {"generate", "x.links", "x", "1.0", "2026-12-09", dir, "mklinks", "rmlinks", "cklinks"},
				 .native = true});
		EXPECT_NE(o.err.find(": error: cannot write"), std::string::npos) << o.err;
		EXPECT_EQ(o.status, 1);
	}
}

// The list's name is written into the table's source where a newline, a
// backslash or a trigraph could not end or join its comment.
// Every byte linklist writes for a list of every kind of row and of odd
// names: the two table sources and the three pages, as they were reviewed.
TEST(List, GenerateWritesWhatWasReviewed)
{
	scratch s;
	const std::string golden = SOURCE_DIR "/tests/linklist/golden/";
	fs::copy_file(golden + "every.links", s.dir / "every.links");
	outcome o = run(s.dir, linklist(),
			{.args = {"generate", "every.links", "every", "9.9.9", "2000-01-01", ".", "mklinks", "rmlinks",
				  "cklinks"},
			 .native = true});
	EXPECT_EQ(o.out + o.err, "");
	ASSERT_EQ(o.status, 0);
	for (const char *file : {"every.table.cpp", "every.remover.cpp", "mklinks-every.1", "rmlinks-every.1",
				 "cklinks-every.1"}) {
		std::string want = slurp(golden + file);
		ASSERT_FALSE(want.empty()) << file;
		EXPECT_EQ(slurp(s.dir / file), want) << file;
	}
	// The build compiles that table, warnings as errors or not, and the
	// program carries every name as the list holds it.
	if (getuid() != 0)
		GTEST_SKIP() << "only root can give a file root's owner, as the list asks";
	const list every = load_list(golden + "every.links");
	fs::create_directory(s.dir / "tree");
	lay(every.rows, s.dir / "tree");
	fs::create_directories(s.dir / "tree/share");
	spill(s.dir / "tree/share/read me", "here");
	o = run(s.dir, program("tests/mklinks-every"), {{"tree", "-v"}});
	std::string trace = "Verbose mode.\n";
	for (const link_entry &e : every.rows)
		trace += expect(e, e.type == ENTRY_SYMLINK ? way::symlink : way::hardlink);
	EXPECT_EQ(o.out, trace);
	EXPECT_EQ(o.err, "");
	EXPECT_EQ(o.status, 0);
	// The owners given by numbers, each read whole, of one digit too.
	struct stat st {};
	ASSERT_EQ(lstat((s.dir / "tree/bin/\xc3\xa9" "b").c_str(), &st), 0);
	EXPECT_EQ(st.st_uid, 65534U);
	EXPECT_EQ(st.st_gid, 65534U);
	ASSERT_EQ(lstat((s.dir / "tree/share/read me").c_str(), &st), 0);
	EXPECT_EQ(st.st_uid, 0U);
	EXPECT_EQ(st.st_gid, 7U);
}

TEST(List, GenerateNamesAnOddListSafely)
{
	scratch s;
	spill(s.dir / "a\nb\\\?\?=.links", base);
	outcome o = run(s.dir, linklist(),
			{.args = {"generate", "a\nb\\\?\?=.links", "x", "1.0", "2026-12-09", "."}, .native = true});
	EXPECT_EQ(o.out + o.err, "");
	EXPECT_EQ(o.status, 0);
	std::string table = slurp(s.dir / "x.table.cpp");
	EXPECT_EQ(table.substr(0, table.find('\n') + 1),
		  "// Written by the build from a\\012b\\134\\077\\077=.links; edit that instead.\n");
}

struct command_case {
	const char *name;
	std::vector<std::string> args;
	std::string err;
	int status;
	std::vector<std::string> wrap {};
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const command_case &c, std::ostream *os)
{
	*os << c.name;
}

// Every list named is read whole and checked, and only a regular file is
// read: a directory, a FIFO or a file that fails to read fails the run,
// never blocks it, and never passes as a shorter list.
const std::string usage =
	"usage: linklist check LIST...\n       linklist generate LIST COMPONENT VERSION DATE DIR [PROGRAM...]\n";
const command_case reads_every_list_whole_or_fails_cases[] = {
	{"every list", {"check", "x.links", "bad.links", "x.links"}, "bad.links:1: error: path is empty\n", 1},
	{"a missing list", {"check", "x.links", "gone.links"},
	 "gone.links: error: cannot read the list: No such file or directory\n", 1},
	{"no list", {"check"}, usage, 2},
	{"a directory", {"check", "dir"}, "dir: error: cannot read the list: not a regular file\n", 1},
	{"a FIFO", {"check", "fifo"}, "fifo: error: cannot read the list: not a regular file\n", 1},
	{"a file that fails to read", {"check", "/proc/self/mem"},
	 "/proc/self/mem: error: cannot read the list: Input/output error\n", 1},
	{"a read error after the first", {"check", "SCRATCH/big.links"},
	 "SCRATCH/big.links: error: cannot read the list: Input/output error\n", 1,
	 {"/usr/bin/strace", "-o", "/dev/null", "-P", "SCRATCH/big.links", "-e", "trace=read", "-e",
	  "inject=read:error=EIO:when=2"}},
	{"a program with no page", {"generate", "x.links", "x", "1.0", "2026-12-09", ".", "mklinks", "lnlinks"},
	 "lnlinks: error: no manual page is known for this program\n", 1},
	{"a read error while generating", {"generate", "SCRATCH/big.links", "big", "1.0", "2026-12-09", "."},
	 "SCRATCH/big.links: error: cannot read the list: Input/output error\n", 1,
	 {"/usr/bin/strace", "-o", "/dev/null", "-P", "SCRATCH/big.links", "-e", "trace=read", "-e",
	  "inject=read:error=EIO:when=2"}},
};

class ReadsEveryListWholeOrFailsCase : public testing::TestWithParam<command_case> {};

TEST_P(ReadsEveryListWholeOrFailsCase, ReadsEveryListWholeOrFails)
{
	const command_case &c = GetParam();
	scratch s;
	spill(s.dir / "x.links", base);
	spill(s.dir / "bad.links", "hardlink bin/tool \"\"\n");
	std::string big;	// more than one read takes
	for (int i = 0; i < 20000; i++)
		big += "hardlink t/" + std::to_string(i) + " l/" + std::to_string(i) + "\n";
	spill(s.dir / "big.links", big);
	fs::create_directory(s.dir / "dir");
	mkfifo((s.dir / "fifo").c_str(), 0644);
	auto fill = [&](const std::string &w) { return std::regex_replace(w, std::regex("SCRATCH"), s.dir.string()); };
	launch how{.native = true};
	for (const auto &a : c.args)
		how.args.push_back(fill(a));
	for (const auto &w : c.wrap)
		how.wrap.push_back(fill(w));
	outcome o = run(s.dir, linklist(), how);
	EXPECT_EQ(o.err, fill(c.err));
	EXPECT_EQ(o.out, "");
	EXPECT_EQ(o.status, c.status);
	EXPECT_FALSE(fs::exists(s.dir / "big.table.cpp"));
}

INSTANTIATE_TEST_SUITE_P(List, ReadsEveryListWholeOrFailsCase, testing::ValuesIn(reads_every_list_whole_or_fails_cases),
			 [](const testing::TestParamInfo<command_case> &i) { return case_name(std::to_string(i.index) + " " + std::string(i.param.name)); });

} // namespace
