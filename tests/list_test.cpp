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

#include "harness.h"

namespace {

struct list_case {
	const char *name;
	std::string rows;	// after the three lines of base, so from line 4
	const char *said;	// on standard error; empty: the list is sound
};

// A comment, a hard link and a symbolic link, on lines 1 to 3.
const std::string base = "# Lines count from 1, comments and all.\nhardlink bin/tool bin/alias\n"
			 "symlink lib.so.1 lib/lib.so\n";
const std::string long_name(4096, 'd');

TEST(List, CheckNamesEveryBadRowAtItsLine)
{
	const list_case cases[] = {
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
		{"path through a later symbolic link", "chmod 4777 sub/victim\nsymlink /srv/elsewhere sub",
		 "x.links:4: error: path passes through a symbolic link that a row makes (line 5)\n"},
		{"target through a symbolic link", "condlink lib/lib.so/x bin/other",
		 "x.links:4: error: target passes through a symbolic link that a row makes (line 3)\n"},
		{"permission change at a symbolic link", "chmod 755 lib/lib.so",
		 "x.links:4: error: permission change at a symbolic link's path, which chmod would follow (line 3)\n"},
		{"mode out of range", "chmod 10000 bin/tool", "x.links:4: error: mode has bits beyond 07777\n"},
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
		{"empty mode", "chmod \"\" bin/tool", "x.links:4: error: mode must be an octal number, such as 755\n"},
		{"mode past the type, never wrapped", "chmod 100000000000000000000000000000000000000 bin/tool",
		 "x.links:4: error: mode has bits beyond 07777\n"},
		{"unknown type that holds an escape sequence", "\x9b" "2Jlink bin/tool bin/x",
		 "x.links:4: error: unknown row type \"\\233" "2Jlink\": a row is hardlink, symlink, condlink or chmod\n"},
		{"type words are exact", "hardlinks bin/tool bin/x",
		 "x.links:4: error: unknown row type \"hardlinks\": a row is hardlink, symlink, condlink or chmod\n"},
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
		 "x.links:4: error: unknown row type \"softlink\": a row is hardlink, symlink, condlink or chmod\n"},
		{"every bad row", "chmod 9 bin/tool\nhardlink bin/tool bin/ok\nhardlink /x bin/y",
		 "x.links:4: error: mode is octal: 8 and 9 are not octal digits\n"
		 "x.links:6: error: target must be relative\n"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
		scratch s;
		spill(s.dir / "x.links", base + c.rows + "\n");
		outcome o = run(s.dir, linklist(), {.args = {"check", "x.links"}, .native = true});
		EXPECT_EQ(o.err, c.said);
		EXPECT_EQ(o.out, "");
		EXPECT_EQ(o.status, *c.said == '\0' ? 0 : 1);
	}
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

// Every list named is read whole and checked, and only a regular file is
// read: a directory, a FIFO or a file that fails to read fails the run,
// never blocks it, and never passes as a shorter list.
TEST(List, ReadsEveryListWholeOrFails)
{
	const std::string usage =
		"usage: linklist check LIST...\n       linklist generate LIST COMPONENT VERSION DATE DIR [PROGRAM...]\n";
	const command_case cases[] = {
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
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
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
}

struct lslinks_case {
	const char *name;
	void (*lay)(const fs::path &dir);	// the tree to list, "t", in dir
	std::string out;			// after the heading
	std::string err;
	int status;
	std::vector<std::string> wrap {};
	std::vector<std::string> args {"t"};
};

const std::string heading = "# Written by lslinks: the links of a tree by path, then the modes to set again.\n";
const std::string deep = [] {	// a path of more than PATH_MAX bytes
	std::string p;
	for (int i = 0; i < 17; i++)
		p += std::string(250, 'd') + "/";
	return p + "l";
}();

// A chain of n directories "d" under dir, made a directory at a time,
// since no call takes a path longer than PATH_MAX whole, with a FIFO at its
// foot under two names, f and g.
void chain(const fs::path &dir, int n)
{
	int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
	for (int i = 0; i < n; i++) {
		mkdirat(fd, "d", 0755);
		int sub = openat(fd, "d", O_RDONLY | O_DIRECTORY);
		close(fd);
		fd = sub;
	}
	mkfifoat(fd, "f", 0644);
	linkat(fd, "f", fd, "g", 0);
	close(fd);
}

TEST(Lslinks, ListsWhatAListCanHoldAndRefusesTheRest)
{
	const lslinks_case cases[] = {
		// Kept are the versioned name, the one in fewer directories and
		// the first byte by byte; names outside the tree are not listed.
		{"files under several names",
		 [](const fs::path &d) {
			 fs::create_directories(d / "t/lib"), fs::create_directories(d / "t/deep/er");
			 fs::create_directories(d / "t/a"), fs::create_directories(d / "t/b");
			 for (const char *p : {"t/lib/libz.so.1.2.13", "t/top-y", "t/a/x", "t/it's a \"q\" \\ x", "t/one"})
				 spill(d / p, p);
			 fs::create_hard_link(d / "t/lib/libz.so.1.2.13", d / "t/lib/libz.so");
			 fs::create_hard_link(d / "t/lib/libz.so.1.2.13", d / "t/libz.so");
			 fs::create_hard_link(d / "t/top-y", d / "t/deep/er/y");
			 fs::create_hard_link(d / "t/a/x", d / "t/b/x");
			 fs::create_hard_link(d / "t/it's a \"q\" \\ x", d / "t/plain");
			 fs::create_hard_link(d / "t/one", d / "outside");
		 },
		 "hardlink a/x b/x\nhardlink top-y deep/er/y\nhardlink lib/libz.so.1.2.13 lib/libz.so\n"
		 "hardlink lib/libz.so.1.2.13 libz.so\nhardlink \"it's a \\\"q\\\" \\\\ x\" plain\n",
		 "", 0},
		{"a newline in a name",
		 [](const fs::path &d) { fs::create_directory(d / "t"), fs::create_symlink("x", d / "t/a\nb"); },
		 "", "lslinks: \"a\\nb\": cannot be listed: path holds a control character (\"x\")\n", 1},
		{"a path of more than PATH_MAX bytes",
		 [](const fs::path &d) {
			 // Made a directory at a time, since no call takes it whole.
			 fs::create_directory(d / "t");
			 int fd = open((d / "t").c_str(), O_RDONLY | O_DIRECTORY);
			 for (std::size_t at = 0, slash; (slash = deep.find('/', at)) != std::string::npos; at = slash + 1) {
				 std::string dir = deep.substr(at, slash - at);
				 mkdirat(fd, dir.c_str(), 0755);
				 int sub = openat(fd, dir.c_str(), O_RDONLY | O_DIRECTORY);
				 close(fd);
				 fd = sub;
			 }
			 symlinkat("x", fd, "l");
			 close(fd);
		 },
		 "", "lslinks: \"" + deep + "\": cannot be listed: path is longer than PATH_MAX (\"x\")\n", 1},
		{"a symbolic link that names itself",
		 [](const fs::path &d) { fs::create_directory(d / "t"), fs::create_symlink("./loop", d / "t/loop"); },
		 "", "lslinks: \"loop\": cannot be listed: link text names the link itself (\"./loop\")\n", 1},
		{"a FIFO under two names",
		 [](const fs::path &d) {
			 fs::create_directory(d / "t"), mkfifo((d / "t/f1").c_str(), 0644);
			 fs::create_hard_link(d / "t/f1", d / "t/f2"), fs::create_symlink("f1", d / "t/s");
		 },
		 "symlink f1 s\n",
		 "lslinks: warning: not listed: \"f1\", a FIFO with 2 names\n"
		 "lslinks: warning: not listed: \"f2\", a FIFO with 2 names\n",
		 0},
		// Bits an archive drops come back as permission rows after the
		// links, at the name a file keeps; the top's own mode is no row.
		{"set-ID and sticky bits",
		 [](const fs::path &d) {
			 fs::create_directories(d / "t/bin"), fs::create_directories(d / "t/tmp");
			 spill(d / "t/bin/su-2", "su", fs::perms(04755)), spill(d / "t/bin/wall", "w", fs::perms(02711));
			 spill(d / "t/bin/plain", "p", fs::perms(0755));
			 fs::create_hard_link(d / "t/bin/su-2", d / "t/bin/su");
			 fs::permissions(d / "t/tmp", fs::perms(01777)), fs::permissions(d / "t", fs::perms(01755));
		 },
		 "hardlink bin/su-2 bin/su\nchmod 4755 bin/su-2\nchmod 2711 bin/wall\nchmod 1777 tmp\n", "", 0},
		{"every mode on request",
		 [](const fs::path &d) {
			 fs::create_directories(d / "t/bin");
			 spill(d / "t/bin/a-1", "a", fs::perms(0700)), fs::create_hard_link(d / "t/bin/a-1", d / "t/bin/a");
			 fs::permissions(d / "t/bin", fs::perms(0750)), fs::create_symlink("a", d / "t/l");
		 },
		 "hardlink bin/a-1 bin/a\nsymlink a l\nchmod 0750 bin\nchmod 0700 bin/a-1\n", "", 0, {}, {"--all-modes", "t"}},
		// Deeper than PATH_MAX and than descriptors allow, one at a time.
		// Deeper than PATH_MAX and than descriptors allow, and back up.
		{"a tree 5,000 directories deep, 24 descriptors",
		 [](const fs::path &d) {
			 fs::create_directories(d / "t/z"), chain(d / "t", 5000), fs::create_symlink("x", d / "t/z/l");
		 },
		 "symlink x z/l\n",
		 [] {
			 std::string p;
			 for (int i = 0; i < 5000; i++)
				 p += "d/";
			 return "lslinks: warning: not listed: \"" + p + "f\", a FIFO with 2 names\n"
				"lslinks: warning: not listed: \"" + p + "g\", a FIFO with 2 names\n";
		 }(),
		 0, {"/bin/sh", "-c", "ulimit -n 24 && exec \"$0\" \"$@\""}},
		{"40 sibling directories, 24 descriptors",
		 [](const fs::path &d) {
			 for (int i = 0; i < 40; i++)
				 fs::create_directories(d / "t" / std::to_string(i) / "x");
			 fs::create_symlink("x", d / "t/39/x/l");
		 },
		 "symlink x 39/x/l\n", "", 0, {"/bin/sh", "-c", "ulimit -n 24 && exec \"$0\" \"$@\""}},
		{"a name with a backslash, a vertical tab and DEL, of a FIFO",
		 [](const fs::path &d) {
			 fs::create_directory(d / "t"), mkfifo((d / "t/f\\\v\x7f").c_str(), 0644);
			 fs::create_hard_link(d / "t/f\\\v\x7f", d / "t/g"), mkfifo((d / "t/one").c_str(), 0644);
		 },
		 "", "lslinks: warning: not listed: \"f\\\\\\v\\177\", a FIFO with 2 names\n"
		 "lslinks: warning: not listed: \"g\", a FIFO with 2 names\n", 0},
		{"a socket under two names",
		 [](const fs::path &d) {
			 fs::create_directory(d / "t");
			 int sock = socket(AF_UNIX, SOCK_STREAM, 0);
			 sockaddr_un a {};
			 a.sun_family = AF_UNIX;
			 std::string p = (d / "t/s").string();
			 memcpy(a.sun_path, p.c_str(), p.size());
			 EXPECT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
			 close(sock);
			 fs::create_hard_link(d / "t/s", d / "t/s2");
		 },
		 "", "lslinks: warning: not listed: \"s\", a socket with 2 names\n"
		 "lslinks: warning: not listed: \"s2\", a socket with 2 names\n", 0},
		{"DEL in a link's name",
		 [](const fs::path &d) { fs::create_directory(d / "t"), fs::create_symlink("x", d / "t/a\x7f"); },
		 "", "lslinks: \"a\\177\": cannot be listed: path holds a control character (\"x\")\n", 1},
		{"a regular file to list", [](const fs::path &d) { spill(d / "t", ""); }, "",
		 "lslinks: \"t\": Not a directory\n", 1},
		{"a second directory", [](const fs::path &d) { fs::create_directory(d / "t"); }, "",
		 "usage: lslinks [-a | --all-modes] directory\n", 2, {}, {"t", "t"}},
		{"a list that cannot be written", [](const fs::path &d) { fs::create_directory(d / "t"); }, "", "", 1,
		 {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full"}},
		{"a top directory that cannot be read",
		 [](const fs::path &d) { fs::create_directories(d / "t/a"); },
		 "", "lslinks: \".\": cannot read the directory: Permission denied\n", 1,
		 {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=getdents64:error=EACCES:when=1"}},
		// The tree's directory is read twice, to its end; then "a".
		{"a directory that cannot be read",
		 [](const fs::path &d) {
			 fs::create_directories(d / "t/a"), fs::create_directories(d / "t/b");
			 fs::create_symlink("x", d / "t/b/l");
		 },
		 "", "lslinks: \"a\": cannot read the directory: Permission denied\n", 1,
		 {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=getdents64:error=EACCES:when=3"}},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
		if (!c.wrap.empty() && emulated())
			continue;	// the emulator reads directories in calls of its own
		scratch s;
		c.lay(s.dir);
		outcome o = run(s.dir, program("lslinks"), {c.args, "", c.wrap});
		EXPECT_EQ(o.out, c.status == 0 ? heading + c.out : "");
		EXPECT_EQ(o.err, c.err);
		EXPECT_EQ(o.status, c.status);
	}
}

mode_t stat_mode(const fs::path &p)
{
	struct stat st {};
	lstat(p.c_str(), &st);
	return st.st_mode & 07777;
}

// A stage with another mount inside is refused, naming the mount point,
// so that no list groups names on two mounts as hard links, which rmlinks
// would take for a file's other names.
TEST(Lslinks, RefusesAMountInside)
{
	const std::pair<const char *, unsigned long> cases[] = {{"bind", MS_BIND}, {"tmpfs", 0}};
	for (const auto &[kind, flags] : cases) {
		SCOPED_TRACE(kind);
		scratch s;
		fs::create_directories(s.dir / "t/a"), fs::create_directories(s.dir / "t/m");
		spill(s.dir / "t/a/f", "only copy");
		std::string from = flags == MS_BIND ? (s.dir / "t/a").string() : "tmpfs";
		if (emulated() || mount(from.c_str(), (s.dir / "t/m").c_str(), "tmpfs", flags, nullptr) == -1)
			GTEST_SKIP() << "cannot mount here, or the emulator hides mount ids";
		outcome o = run(s.dir, program("lslinks"), {{"t"}});
		umount2((s.dir / "t/m").c_str(), MNT_DETACH);
		EXPECT_EQ(o.out, "");
		EXPECT_EQ(o.err, "lslinks: \"m\": another file system is mounted here; a staged tree must be one\n");
		EXPECT_EQ(o.status, 1);
		EXPECT_EQ(slurp(s.dir / "t/a/f"), "only copy");
	}
}

// The names of each regular file with several, as sets.
std::set<std::vector<std::string>> groups(const fs::path &dir)
{
	std::map<ino_t, std::vector<std::string>> by_inode;
	for (const auto &e : fs::recursive_directory_iterator(dir)) {
		struct stat st {};
		lstat(e.path().c_str(), &st);
		if (S_ISREG(st.st_mode) && st.st_nlink > 1)
			by_inode[st.st_ino].push_back(e.path().lexically_relative(dir).string());
	}
	std::set<std::vector<std::string>> all;
	for (auto &[inode, names] : by_inode) {
		std::sort(names.begin(), names.end());
		all.insert(names);
	}
	return all;
}

// The links of a staged tree, listed by lslinks when the build made the
// staged component, go through a copy that cannot carry them and come back:
// the same names, bytes, link texts and groups of hard links. A symbolic
// link with two names comes back as two.
TEST(Lslinks, RoundTripGivesTheStageBack)
{
	scratch s;
	std::string stage = program("tests/stage");
	ASSERT_EQ(run(s.dir, "/bin/cp", {.args = {"-a", stage, "copy"}, .native = true}).status, 0);
	outcome o = run(s.dir, program("tests/rmlinks-staged"), {{"copy"}});
	EXPECT_EQ(o.out + o.err, "");
	EXPECT_EQ(o.status, 0);
	for (const auto &e : fs::recursive_directory_iterator(s.dir / "copy")) {
		struct stat st {};
		lstat(e.path().c_str(), &st);
		EXPECT_TRUE(S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1)) << e.path();
	}
	// Through zip and unzip, which drop the set-ID and sticky bits.
	ASSERT_EQ(run(s.dir, "/bin/sh", {.args = {"-c", "cd copy && exec zip -qr ../shipped.zip ."}, .native = true}).status, 0);
	ASSERT_EQ(run(s.dir, "/usr/bin/unzip", {.args = {"-q", "shipped.zip", "-d", "shipped"}, .native = true}).status, 0);
	EXPECT_EQ(stat_mode(s.dir / "shipped/bin/su-1.0"), 0755U);
	o = run(s.dir, program("tests/mklinks-staged"), {{"shipped"}});
	EXPECT_EQ(o.out + o.err, "");
	EXPECT_EQ(o.status, 0);
	const std::regex count(" l 777 [0-9]+ ->");
	EXPECT_EQ(std::regex_replace(listing(s.dir / "shipped"), count, " l 777 ->"),
		  std::regex_replace(listing(stage), count, " l 777 ->"));
	EXPECT_EQ(groups(s.dir / "shipped"), groups(stage));
	o = run(s.dir, program("tests/cklinks-staged"), {{"--no-copies", "shipped"}});
	EXPECT_EQ(o.out + o.err, "");
	EXPECT_EQ(o.status, 0);
}

} // namespace
