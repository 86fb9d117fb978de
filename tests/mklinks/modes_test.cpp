// mklinks, cklinks and rmlinks run against the modes component.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <tuple>
#include <unistd.h>

#include "kinds.h"

#include "harness.h"

namespace {

// The rows the modes component's programs carry, read from the same list.
const list modes = load_list(SOURCE_DIR "/tests/components/modes.links");
const std::vector<link_entry> &rows = modes.rows;


// Permission changes set every bit as given, cp is left nothing of the
// probe of a conditional target, and the remover, built from the links
// alone, removes them and leaves every path of a permission change. The
// manual pages show every name as it stands.
TEST(Modes, KeepsEveryBitAndRemovesOnlyLinks)
{
	if (getuid() != 0)
		GTEST_SKIP() << "only root can give a file another owner";
	scratch s;
	lay(rows, s.dir);
	spill(s.dir / "data/file", "file");
	fs::remove(s.dir / "links");
	fs::create_directory_symlink(s.far, s.dir / "links");
	fs::create_directory(s.dir / "stub");
	// The shell waits while ls lists its descriptors, so none comes or goes
	// meanwhile, as one would while the shell set up a pipe: cp is given
	// no descriptor of the tree that mklinks holds open.
	spill(s.dir / "stub/cp",
	      "#!/bin/sh\n/bin/ls -l /proc/$$/fd >stub/fds\n"
	      "! /bin/grep -e '/data' -e '/dev/shm/links-tests' stub/fds\n",
	      fs::perms(0755));
	outcome o = run(s.dir, program("tests/mklinks-modes"), {{".", "-v"}, (s.dir / "stub").string()});
	std::string want = "Verbose mode.\n";
	for (std::size_t i = 0; i < rows.size(); i++)
		want += expect(rows[i], way::copy);
	EXPECT_EQ(o.out + o.err, want);
	EXPECT_EQ(o.status, 0);
	// Every name is written escaped, as the checker writes it.
	EXPECT_NE(o.out.find("chmod 600 \"odd/\?\?!\?\?/\?\?=\\302\\233\\233\\205\\351\"\n"), std::string::npos);
	EXPECT_NE(o.out.find("chmod 644 \".odd/it's a \\\"quoted\\\" \\\\ name-\xc3\xa9\"\n"), std::string::npos);
	for (std::size_t i : {2, 3, 5})
		EXPECT_EQ(fs::status(s.dir / rows[i].path).permissions(), fs::perms(rows[i].mode));
	// The capabilities came after the owner, which would have cleared
	// them, and are what another reader of the attribute names.
	outcome caps = run(s.dir, "/usr/sbin/getcap", {.args = {"data/tool"}, .native = true});
	ASSERT_EQ(caps.status, 0) << caps.err;
	EXPECT_EQ(caps.out, "data/tool cap_chown=ei cap_net_admin,cap_net_raw+ep\n");
	// The owner came first, so the set-user-ID bit is still there, on a
	// file of nobody's.
	struct stat tool {};
	ASSERT_EQ(stat((s.dir / "data/tool").c_str(), &tool), 0);
	EXPECT_EQ(tool.st_uid, getpwnam("nobody")->pw_uid);
	EXPECT_EQ(tool.st_gid, getgrnam("nogroup")->gr_gid);
	EXPECT_EQ(tool.st_mode & 07777, 04755U);
	// The stub made no copy, a mode changed since is named with the one the
	// path has instead, a group changed since with the owner the path has,
	// capabilities the change cleared as missing, and a target that cannot
	// be looked at is present.
	fs::permissions(s.dir / rows[3].path, fs::perms(0640));
	ASSERT_EQ(lchown((s.dir / "data/tool").c_str(), tool.st_uid, 0), 0);
	fs::permissions(s.dir / "data/tool", fs::perms(04755));
	fs::remove(s.dir / rows[4].target);
	fs::create_symlink("file", s.dir / rows[4].target);
	o = run(s.dir, program("tests/cklinks-modes"), {{"."}});
	EXPECT_EQ(o.out, "\"data/tool\": owner \"nobody:root\", not nobody:nogroup\n"
			 "\"data/tool\": no capabilities, not cap_net_raw,cap_net_admin+ep cap_chown=ei\n" +
				 complaint(rows[3], fault::mode, "640") + complaint(rows[4], fault::missing));
	EXPECT_EQ(o.status, 1);
	// The same sets without the effective flag are other capabilities, and
	// so is a revision 3 attribute that holds what the row gives, with a
	// namespace's root, though the kernel may give it back as revision 2.
	const unsigned char ineffective[20] = {0, 0, 0, 2, 0, 0x30, 0, 0, 1, 0, 0, 0};
	const unsigned char same[24] = {1, 0, 0, 3, 0, 0x30, 0, 0, 1, 0, 0, 0};
	for (const auto &[caps, size, said] :
	     {std::tuple{ineffective, sizeof ineffective, "other"}, std::tuple{same, sizeof same, ""}}) {
		ASSERT_EQ(setxattr((s.dir / "data/tool").c_str(), "security.capability", caps, size, 0), 0);
		o = run(s.dir, program("tests/cklinks-modes"), {{"."}});
		std::string wrong = *said == '\0' ? ""
						  : std::string("\"data/tool\": ") + said +
							    " capabilities, not cap_net_raw,cap_net_admin+ep cap_chown=ei\n";
		EXPECT_EQ(o.out, "\"data/tool\": owner \"nobody:root\", not nobody:nogroup\n" + wrong +
					 complaint(rows[3], fault::mode, "640") + complaint(rows[4], fault::missing));
	}

	spill(s.dir / "links/file", "old");
	o = run(s.dir, program("tests/rmlinks-modes"), {{"."}});
	EXPECT_EQ(o.out + o.err, "");
	EXPECT_EQ(o.status, 0);
	for (std::size_t i = 0; i < rows.size(); i++)
		EXPECT_EQ(fs::exists(s.dir / rows[i].path), !kind_or_hardlink(rows[i].type).link) << rows[i].path;

	// A mode is shown with four digits, and a name as its bytes.
	for (const char *page : {"tests/mklinks-modes.1", "tests/cklinks-modes.1"}) {
		std::string text = render(program(page));
		EXPECT_NE(text.find(rows[5].path), std::string::npos) << text;
		EXPECT_TRUE(text.find(" data/tool the owner and group nobody:nogroup.") != std::string::npos ||
			    text.find(" of data/tool are nobody:nogroup.") != std::string::npos)
			<< text;
		EXPECT_NE(text.find(" 0044."), std::string::npos) << text;
		// An apostrophe is asked for as one, which no typesetter curls.
		EXPECT_NE(slurp(program(page)).find("it\\(aqs"), std::string::npos);
		EXPECT_NE(text.find("odd/\?\?!\?\?/\?\?=\\302\\233\\233\\205\\351 "), std::string::npos) << text;
	}
	std::string removes = render(program("tests/rmlinks-modes.1"));
	for (std::size_t i = 0; i < rows.size(); i++)
		EXPECT_EQ(removes.find(std::string("Remove ") + rows[i].path) != std::string::npos,
			  kind_or_hardlink(rows[i].type).link) << removes;
}

// An owner or capabilities that cannot be given fail the row, and so the
// run, saying why: names this machine lacks (its user and group databases
// hidden), a path that is gone or is no regular file, and the kernel's
// refusal. The checker then names what it finds in place of each row.
struct refusal_case {
	const char *name;
	void (*spoil)(const fs::path &dir);
	std::vector<std::string> wrap;
	std::size_t row;	// the row that fails, 0 or 1: the owner or the capabilities
	const char *why;
	const char *checked;	// by cklinks of the first three rows, in a tree spoiled after a good run
};

[[maybe_unused]] void PrintTo(const refusal_case &c, std::ostream *os)
{
	*os << c.name;
}

void untouched(const fs::path & /*unused*/) {}
void gone(const fs::path &d)
{
	fs::remove(d / "data/tool");
}
void directory(const fs::path &d)
{
	fs::remove(d / "data/tool"), fs::create_directory(d / "data/tool");
}
// The database hidden, and the switch that would look for the name
// elsewhere, where nobody may be made up.
std::vector<std::string> hidden(const char *file)
{
	return {"/usr/bin/strace", "-qqq", "-o", "/dev/null", "-P", file, "-P", "/etc/nsswitch.conf",
		"-e", "trace=openat", "-e", "inject=openat:error=ENOENT"};
}
std::vector<std::string> refused(const char *call)
{
	return {"/usr/bin/strace", "-qqq", "-o", "/dev/null", "-e", std::string("trace=") + call, "-e",
		std::string("inject=") + call + ":error=EPERM"};
}

const refusal_case refusal_cases[] = {
	{"no such user here", untouched, hidden("/etc/passwd"), 0, "no such user",
	 "\"data/tool\": owner nobody:nogroup: no such user\n"},
	{"no such group here", untouched, hidden("/etc/group"), 0, "no such group",
	 "\"data/tool\": owner nobody:nogroup: no such group\n"},
	{"the path gone", gone, {}, 0, "No such file or directory",
	 "\"data/tool\": missing\n\"data/tool\": missing\n\"data/tool\": missing\n"},
	{"the owner refused", untouched, refused("fchownat"), 0, "Operation not permitted", nullptr},
	{"capabilities on a directory", directory, {}, 1, "not a regular file",
	 "\"data/tool\": owner \"root:root\", not nobody:nogroup\n\"data/tool\": not a regular file\n"
	 "\"data/tool\": mode 755, not 4755\n"},
	{"capabilities refused", untouched, refused("fsetxattr"), 1, "Operation not permitted", nullptr},
};

class Refusal : public testing::TestWithParam<refusal_case> {};

TEST_P(Refusal, FailsTheRunSayingWhy)
{
	const refusal_case &c = GetParam();
	if (getuid() != 0)
		GTEST_SKIP() << "only root can give a file another owner";
	if (!c.wrap.empty() && emulated())
		GTEST_SKIP() << "the emulator makes calls of its own";
	scratch s;
	lay(rows, s.dir);
	c.spoil(s.dir);
	outcome o = run(s.dir, program("tests/mklinks-modes"), {{".", "-v"}, "", c.wrap});
	std::string trace = "Verbose mode.\n";
	for (std::size_t i = 0; i <= c.row; i++)
		trace += expect(rows[i], way::copy);
	EXPECT_EQ(o.out, trace);
	EXPECT_EQ(o.err, (c.row == 0 ? "could not chown nobody:nogroup" : "could not setcap " + std::string(rows[1].target)) +
				 " \"data/tool\": " + c.why + "\n");
	EXPECT_EQ(o.status, 1);
	if (c.checked == nullptr)
		return;
	// After a run that could give them, with the databases hidden from
	// the checker alone.
	scratch good;
	lay(rows, good.dir);
	spill(good.dir / "data/file", "file");
	ASSERT_EQ(run(good.dir, program("tests/mklinks-modes"), {{"."}}).status, 0);
	c.spoil(good.dir);
	o = run(good.dir, program("tests/cklinks-modes"), {{"."}, "", c.wrap});
	EXPECT_EQ(o.out.substr(0, strlen(c.checked)), c.checked);
	EXPECT_EQ(o.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, Refusal, testing::ValuesIn(refusal_cases),
			 [](const testing::TestParamInfo<refusal_case> &i) { return case_name(i.param.name); });

} // namespace
