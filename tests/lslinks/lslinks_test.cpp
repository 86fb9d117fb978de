// The lists that lslinks writes from a tree, and the round trip of their
// links.
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sched.h>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <sys/socket.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <sys/un.h>
#include <unistd.h>

#include "harness.h"


namespace {

struct lslinks_case {	// NOLINT(clang-analyzer-optin.performance.Padding): in the order a case reads
	const char *name;
	void (*lay)(const fs::path &dir);	// the tree to list, "t", in dir
	std::string out;			// after the heading
	std::string err;
	int status;
	std::vector<std::string> wrap {};
	std::vector<std::string> args {"t"};
	bool root = false;	// the tree needs root to lay
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const lslinks_case &c, std::ostream *os)
{
	*os << c.name;
}

const std::string heading = "# Written by lslinks: the links of a tree by path, then the owners, modes and capabilities to set again.\n";
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

// File capabilities on an executable file, on one with two names and on
// one nobody can run, and a user attribute, which no list carries.
void attributes(const fs::path &d)
{
	fs::create_directory(d / "t");
	spill(d / "t/ping", "ping", fs::perms(0755)), spill(d / "t/f", "f");
	spill(d / "t/arping-2", "arping", fs::perms(0750)), fs::create_hard_link(d / "t/arping-2", d / "t/arping");
	spill(d / "t/g", "g", fs::perms(0644));
	// As the kernel keeps them: cap_net_raw, permitted and effective;
	// cap_net_admin and cap_net_raw in every set, and 41, which has no
	// name yet, inheritable; cap_chown permitted only.
	const unsigned char raw[20] = {1, 0, 0, 2, 0, 0x20, 0, 0};
	const unsigned char net[20] = {1, 0, 0, 2, 0, 0x30, 0, 0, 0, 0x30, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0};
	const unsigned char chown[20] = {0, 0, 0, 2, 1, 0, 0, 0};
	EXPECT_EQ(setxattr((d / "t/ping").c_str(), "security.capability", raw, sizeof raw, 0), 0);
	EXPECT_EQ(setxattr((d / "t/arping").c_str(), "security.capability", net, sizeof net, 0), 0);
	EXPECT_EQ(setxattr((d / "t/g").c_str(), "security.capability", chown, sizeof chown, 0), 0);
	EXPECT_EQ(setxattr((d / "t/f").c_str(), "user.note", "x", 1, 0), 0);
}

// A tree whose every mode -a lists.
void every_mode(const fs::path &d)
{
	fs::create_directories(d / "t/bin");
	spill(d / "t/bin/a-1", "a", fs::perms(0700)), fs::create_hard_link(d / "t/bin/a-1", d / "t/bin/a");
	fs::permissions(d / "t/bin", fs::perms(0750)), fs::create_symlink("a", d / "t/l");
	spill(d / "t/none", "n", fs::perms::none), fs::create_directory(d / "t/tmp");
	fs::permissions(d / "t/tmp", fs::perms(01777));
}

// More links than the list is written in at a time.
const int many = 4100;
std::string many_names(int i)
{
	char name[8];
	snprintf(name, sizeof name, "l%04d", i);
	return name;
}

// Directories enough for the walk to be dealt out to threads, each with a
// file whose second name is in the directory half the tree away, a FIFO
// under two names and a symbolic link; what each thread finds and says
// must come together in the order of the tree.
const int side_by_side = 200;
std::string side_name(int i)
{
	char name[8];
	snprintf(name, sizeof name, "d%03d", i);
	return name;
}

void pieces(const fs::path &d)
{
	for (int i = 0; i < side_by_side; i++) {
		fs::path dir = d / "t" / side_name(i);
		fs::create_directories(dir), spill(dir / "f", "f"), fs::create_symlink("x", dir / "s");
		mkfifo((dir / "p").c_str(), 0644), fs::create_hard_link(dir / "p", dir / "q");
	}
	for (int i = 0; i < side_by_side / 2; i++)
		fs::create_hard_link(d / "t" / side_name(i) / "f", d / "t" / side_name(i + side_by_side / 2) / "h");
}

// The same a level down, under one directory, with an attribute no list
// carries on every file, and an executable file with capabilities.
void pieces_below(const fs::path &d)
{
	for (int i = 0; i < side_by_side; i++) {
		fs::path dir = d / "t/u" / side_name(i);
		fs::create_directories(dir), fs::permissions(dir, fs::perms(0755));
		spill(dir / "f", "f", fs::perms(0644)), spill(dir / "x", "x", fs::perms(0755));
		const unsigned char raw[20] = {1, 0, 0, 2, 0, 0x20, 0, 0};
		EXPECT_EQ(setxattr((dir / "x").c_str(), "security.capability", raw, sizeof raw, 0), 0);
		EXPECT_EQ(setxattr((dir / "f").c_str(), "user.note", "x", 1, 0), 0);
	}
	fs::permissions(d / "t/u", fs::perms(0755));
}

const lslinks_case lslinks_cases[] = {
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
	 "hardlink bin/su-2 bin/su\nowner root:root bin/su-2\nowner root:root bin/wall\nowner root:root tmp\n"
	 "chmod 4755 bin/su-2\nchmod 2711 bin/wall\nchmod 1777 tmp\n",
	 "", 0, {}, {"t"}, true},
	// The owner of an entry that is not the stage's own comes back too.
	{"entries of another owner",
	 [](const fs::path &d) {
		 fs::create_directories(d / "t/var"), spill(d / "t/var/f", "f"), spill(d / "t/g", "g");
		 lchown((d / "t/var").c_str(), 0, getgrnam("nogroup")->gr_gid);
		 lchown((d / "t/var/f").c_str(), getpwnam("nobody")->pw_uid, 0);
		 spill(d / "t/var/h-1", "h"), fs::create_hard_link(d / "t/var/h-1", d / "t/h");
		 lchown((d / "t/h").c_str(), 0, getgrnam("nogroup")->gr_gid);
	 },
	 "hardlink var/h-1 h\nowner root:nogroup var\nowner nobody:root var/f\nowner root:nogroup var/h-1\n", "", 0,
	 {}, {"t"}, true},
	{"every mode on request",
	 every_mode,
	 "hardlink bin/a-1 bin/a\nsymlink a l\nowner root:root bin\nowner root:root bin/a-1\nowner root:root l\n"
	 "owner root:root none\nowner root:root tmp\nchmod 0750 bin\nchmod 0700 bin/a-1\nchmod 0000 none\nchmod 1777 tmp\n",
	 "", 0, {}, {"--all-modes", "t"}, true},
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
	{"every mode on request, as -a",
	 every_mode,
	 "hardlink bin/a-1 bin/a\nsymlink a l\nowner root:root bin\nowner root:root bin/a-1\nowner root:root l\n"
	 "owner root:root none\nowner root:root tmp\nchmod 0750 bin\nchmod 0700 bin/a-1\nchmod 0000 none\nchmod 1777 tmp\n",
	 "", 0, {}, {"-a", "t"}, true},
	{"more links than a block of the list",
	 [](const fs::path &d) {
		 fs::create_directory(d / "t");
		 for (int i = 0; i < many; i++)
			 fs::create_symlink("x", d / "t" / many_names(i));
	 },
	 [] {
		 std::string out;
		 for (int i = 0; i < many; i++)
			 out += "symlink x " + many_names(i) + "\n";
		 return out;
	 }(),
	 "", 0},
	// Digits count, not length.
	{"the name with more digits kept, though shorter",
	 [](const fs::path &d) {
		 fs::create_directory(d / "t"), spill(d / "t/x2", "x"), fs::create_hard_link(d / "t/x2", d / "t/long");
	 },
	 "hardlink x2 long\n", "", 0},
	// A 0 is a digit of a versioned name as much as any other.
	{"the name with a 0 kept",
	 [](const fs::path &d) {
		 fs::create_directory(d / "t"), spill(d / "t/b0", "b"), fs::create_hard_link(d / "t/b0", d / "t/a");
	 },
	 "hardlink b0 a\n", "", 0},
	// A refused permission row is named by its path: it has no target.
	{"a set-ID file named with a newline",
	 [](const fs::path &d) { fs::create_directory(d / "t"), spill(d / "t/a\nb", "x", fs::perms(04755)); },
	 "", "lslinks: \"a\\nb\": cannot be listed: path holds a control character\n"
	 "lslinks: \"a\\nb\": cannot be listed: path holds a control character\n", 1},
	{"a character device under two names",
	 [](const fs::path &d) {
		 fs::create_directory(d / "t"), mknod((d / "t/null").c_str(), S_IFCHR | 0666, makedev(1, 3));
		 fs::create_hard_link(d / "t/null", d / "t/zero");
	 },
	 "", "lslinks: warning: not listed: \"null\", a character device with 2 names\n"
	 "lslinks: warning: not listed: \"zero\", a character device with 2 names\n", 0, {}, {"t"}, true},
	// A directory that cannot be opened fails the run: its links are
	// never dropped in silence.
	{"a directory that cannot be opened",
	 [](const fs::path &d) { fs::create_directories(d / "t/a"), fs::create_symlink("x", d / "t/a/l"); },
	 "", "lslinks: \"a\": cannot read the directory: Permission denied\n", 1,
	 {"/usr/bin/strace", "-o", "/dev/null", "-P", "a", "-e", "trace=openat", "-e", "inject=openat:error=EACCES"}},
	// A directory swapped between the look and the open (held there by
	// a delay) is refused, not listed.
	{"a directory swapped between look and open",
	 [](const fs::path &d) {
		 fs::create_directories(d / "t/a"), fs::create_directories(d / "t/other");
		 fs::create_symlink("x", d / "t/other/l");
	 },
	 "", "lslinks: \"a\": changed while it was listed\nlslinks: \"other\": changed while it was listed\n", 1,
	 {"/bin/sh", "-c",
	  "(sleep 0.3; mv t/a t/gone; mv t/other t/a) & exec /usr/bin/strace -qqq -o /dev/null -P a -e trace=openat "
	  "-e inject=openat:delay_enter=1000000 \"$0\" \"$@\""}},
	// File capabilities come back as rows, those of executable files
	// always and of any file with -a, at the name a file keeps; what a
	// list cannot carry is named, never dropped in silence.
	{"file capabilities", attributes,
	 "hardlink arping-2 arping\ncaps \"cap_net_admin,cap_net_raw=eip 41=ei\" arping-2\ncaps cap_net_raw=ep ping\n", "", 0,
	 {}, {"t"}, true},
	{"file capabilities, and every other attribute not carried, with -a", attributes,
	 "hardlink arping-2 arping\nowner root:root arping-2\nowner root:root f\nowner root:root g\nowner root:root ping\n"
	 "chmod 0750 arping-2\nchmod 0644 f\nchmod 0644 g\nchmod 0755 ping\n"
	 "caps \"cap_net_admin,cap_net_raw=eip 41=ei\" arping-2\ncaps cap_chown=p g\ncaps cap_net_raw=ep ping\n",
	 "lslinks: warning: not carried: \"f\": \"user.note\"\n",
	 0, {}, {"-a", "t"}, true},
	{"file capabilities that cannot be read",
	 attributes, "", "lslinks: \"arping\": cannot read its capabilities: Input/output error\n"
	 "lslinks: \"arping-2\": cannot read its capabilities: Input/output error\n"
	 "lslinks: \"ping\": cannot read its capabilities: Input/output error\n", 1,
	 {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=lgetxattr:error=EIO"}, {"t"}, true},
	{"attributes that cannot be listed, with -a",
	 attributes, "", [] {
		 std::string err;
		 for (const char *name : {"arping", "arping-2", "f", "g", "ping"})
			 err += "lslinks: \"" + std::string(name) + "\": cannot read its attributes: Input/output error\n";
		 return err;
	 }(), 1, {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=llistxattr:error=EIO"}, {"-a", "t"}, true},
	{"a tree walked in pieces side by side", pieces,
	 [] {
		 std::string out;
		 for (int i = 0; i < side_by_side; i++) {
			 std::string at = side_name(i), across = side_name(i - side_by_side / 2);
			 if (i >= side_by_side / 2)
				 out.append("hardlink ").append(across).append("/f ").append(at).append("/h\n");
			 out.append("symlink x ").append(at).append("/s\n");
		 }
		 return out;
	 }(),
	 [] {
		 std::string err;
		 for (int i = 0; i < side_by_side; i++)
			 for (const char *name : {"/p", "/q"})
				 err.append("lslinks: warning: not listed: \"").append(side_name(i)).append(name).append(
					 "\", a FIFO with 2 names\n");
		 return err;
	 }(),
	 0},
	{"every mode of a tree walked in pieces side by side", pieces_below,
	 [] {
		 std::string owners = "owner root:root u\n", modes = "chmod 0755 u\n", caps;
		 for (int i = 0; i < side_by_side; i++) {
			 std::string at = "u/" + side_name(i);
			 for (const char *entry : {"", "/f", "/x"})
				 owners.append("owner root:root ").append(at).append(entry).append("\n");
			 modes.append("chmod 0755 ").append(at).append("\nchmod 0644 ").append(at).append("/f\n");
			 modes.append("chmod 0755 ").append(at).append("/x\n");
			 caps.append("caps cap_net_raw=ep ").append(at).append("/x\n");
		 }
		 return owners + modes + caps;
	 }(),
	 [] {
		 std::string err;
		 for (int i = 0; i < side_by_side; i++)
			 err += "lslinks: warning: not carried: \"u/" + side_name(i) + "/f\": \"user.note\"\n";
		 return err;
	 }(),
	 0, {}, {"-a", "t"}, true},
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
class Lister : public testing::TestWithParam<lslinks_case> {};

TEST_P(Lister, ListsWhatAListCanHoldAndRefusesTheRest)
{
	const lslinks_case &c = GetParam();
	if (!c.wrap.empty() && emulated())
		GTEST_SKIP() << "the emulator reads directories in calls of its own";
	if (c.root && getuid() != 0)
		GTEST_SKIP() << "only root can lay this tree, or give its entries root's name";
	scratch s;
	c.lay(s.dir);
	outcome o = run(s.dir, program("lslinks"), {c.args, "", c.wrap});
	EXPECT_EQ(o.out, c.status == 0 ? heading + c.out : "");
	EXPECT_EQ(o.err, c.err);
	EXPECT_EQ(o.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Lslinks, Lister, testing::ValuesIn(lslinks_cases),
			 [](const testing::TestParamInfo<lslinks_case> &i) { return case_name(i.param.name); });

mode_t stat_mode(const fs::path &p)
{
	struct stat st {};
	lstat(p.c_str(), &st);
	return st.st_mode & 07777;
}

// A stage with another mount inside is refused, naming the mount point,
// so that no list groups names on two mounts as hard links, which rmlinks
// would take for a file's other names.
// A tree big enough is walked by a thread for each core it may run on, and
// lists and says what one thread alone does.
TEST(Lslinks, DealsABigTreeOutToThreads)
{
	if (emulated())
		GTEST_SKIP() << "the emulator makes calls of its own";
	cpu_set_t set;
	if (sched_getaffinity(0, sizeof set, &set) != 0 || CPU_COUNT(&set) < 2)
		GTEST_SKIP() << "one core here: the walk takes one thread";
	scratch s;
	pieces(s.dir);
	std::string log = s.dir.string() + ".calls";
	outcome many = run(s.dir, "/usr/bin/strace",
			   {.args = {"-f", "-qq", "-o", log, "-e", "trace=clone,clone3", program("lslinks"), "t"}, .native = true});
	std::string calls = slurp(log);
	fs::remove(log);
	EXPECT_NE(calls.find("clone"), std::string::npos) << "the walk took one thread";
	outcome one = run(s.dir, program("lslinks"), {{"t"}, "", {"/usr/bin/taskset", "-c", "0"}});
	EXPECT_EQ(one.status, 0);
	EXPECT_EQ(many.status, 0);
	EXPECT_EQ(many.out, one.out);
	EXPECT_EQ(many.err, one.err);
	EXPECT_GT(std::count(one.out.begin(), one.out.end(), '\n'), side_by_side);
}

// A directory moved while the walk climbs back out of it through ".."
// (held there by a delay on that very call, found by a traced run) stops
// the run, rather than going on in the directory it was moved into.
TEST(Lslinks, StopsWhereADirectoryMovedUnderTheClimb)
{
	if (emulated())
		GTEST_SKIP() << "the emulator makes calls of its own";
	scratch s;
	// Deep enough that the first levels, which are listed before the
	// walk is dealt out, leave some to climb.
	fs::create_directories(s.dir / "t/a/b/c/d/e/f/g"), fs::create_directories(s.dir / "t/z");
	fs::create_symlink("x", s.dir / "t/a/l"), fs::create_symlink("y", s.dir / "t/z/m");
	std::string log = s.dir.string() + ".calls";
	ASSERT_EQ(run(s.dir, "/usr/bin/strace", {.args = {"-o", log, "-e", "trace=openat", program("lslinks"), "t"}, .native = true})
			  .status,
		  0);
	std::istringstream in(slurp(log));
	int call = 0, climb = 0;
	for (std::string line; std::getline(in, line);) {
		if (!line.starts_with("openat("))
			continue;
		call++;
		if (climb == 0 && line.find(", \"..\",") != std::string::npos)
			climb = call;
	}
	fs::remove(log);
	ASSERT_GT(climb, 0) << "the traced walk never climbed";
	std::string delay = "inject=openat:delay_enter=1000000:when=" + std::to_string(climb);
	outcome o = run(s.dir, program("lslinks"),
			{{"t"}, "", {"/bin/sh", "-c",
				     "(sleep 0.3; mv t/a/b/c/d/e/f/g t/z/g) & exec /usr/bin/strace -qqq -o /dev/null -e trace=openat -e " +
					     delay + " \"$0\" \"$@\""}});
	EXPECT_EQ(o.out, "");
	EXPECT_EQ(o.err, "lslinks: \"a/b/c/d/e/f\": changed while it was listed\n");
	EXPECT_EQ(o.status, 1);
}

struct mount_case {
	const char *kind;
	unsigned long flags;
};

[[maybe_unused]] void PrintTo(const mount_case &c, std::ostream *os)
{
	*os << c.kind;
}

const mount_case mount_cases[] = {{"bind", MS_BIND}, {"tmpfs", 0}};

class Mount : public testing::TestWithParam<mount_case> {};

TEST_P(Mount, RefusesAMountInside)
{
	const mount_case &c = GetParam();
	scratch s;
	fs::create_directories(s.dir / "t/a"), fs::create_directories(s.dir / "t/m");
	spill(s.dir / "t/a/f", "only copy");
	std::string from = c.flags == MS_BIND ? (s.dir / "t/a").string() : "tmpfs";
	if (emulated() || mount(from.c_str(), (s.dir / "t/m").c_str(), "tmpfs", c.flags, nullptr) == -1)
		GTEST_SKIP() << "cannot mount here, or the emulator hides mount ids";
	outcome o = run(s.dir, program("lslinks"), {{"t"}});
	umount2((s.dir / "t/m").c_str(), MNT_DETACH);
	EXPECT_EQ(o.out, "");
	EXPECT_EQ(o.err, "lslinks: \"m\": another file system is mounted here; a staged tree must be one\n");
	EXPECT_EQ(o.status, 1);
	EXPECT_EQ(slurp(s.dir / "t/a/f"), "only copy");
}

INSTANTIATE_TEST_SUITE_P(Lslinks, Mount, testing::ValuesIn(mount_cases),
			 [](const testing::TestParamInfo<mount_case> &i) { return case_name(i.param.kind); });

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
// the same names, bytes, link texts, groups of hard links, modes and file
// capabilities. A symbolic link with two names comes back as two.
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
	// The file capabilities, which root gave the stage, come back too.
	auto caps = [&](const std::string &dir) {
		return run(s.dir, "/bin/sh", {.args = {"-c", "cd \"$0\" && exec /sbin/getcap -r .", dir}, .native = true}).out;
	};
	EXPECT_EQ(caps("shipped"), caps(stage));
	if (getuid() == 0) {
		EXPECT_EQ(caps(stage), "./bin/ping cap_net_raw=ep\n");
	}
	o = run(s.dir, program("tests/cklinks-staged"), {{"--no-copies", "shipped"}});
	EXPECT_EQ(o.out + o.err, "");
	EXPECT_EQ(o.status, 0);
}

} // namespace
