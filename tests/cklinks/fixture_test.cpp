// cklinks run against the fixture component: what it says of each way a
// tree can be spoilt.
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

struct damage_case {
	const char *name;
	void (*spoil)(const fs::path &dir);
	std::vector<std::tuple<std::size_t, fault, std::string>> said;	// row, fault, found
	std::vector<std::string> wrap {};
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const damage_case &c, std::ostream *os)
{
	*os << c.name;
}

// Make p a file of a tebibyte with bytes at its start and end at its end
// (none: it ends in a hole), and holes between wherever the file system
// can keep them.
void sparse(const fs::path &p, const std::string &end)
{
	int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0640);
	ASSERT_EQ(pwrite(fd, "start", 5, 0), 5);
	if (end.empty())	// a file that ends in a hole
		ASSERT_EQ(ftruncate(fd, off_t{1} << 40), 0);
	else
		ASSERT_EQ(pwrite(fd, end.data(), end.size(), (off_t{1} << 40) - static_cast<off_t>(end.size())), 3);
	close(fd);
}

// Spoilt one way after a clean run, the tree gets from the checker a line
// for exactly the rows no longer in place, and it never opens or waits on
// anything but a regular file.
using enum fault;
const damage_case damage_cases[] = {
	// Under a regular file, paths are missing and a conditional
	// target is not absent, and so present.
	{"a file where data was",
	 [](const fs::path &d) { fs::remove_all(d / "data"), spill(d / "data", "x"); },
	 {{0, target_missing, ""}, {1, missing, ""}, {2, missing, ""}, {3, target_missing, ""},
	  {4, target_missing, ""}, {5, missing, ""}, {6, missing, ""}}},
	{"a symbolic-link loop among directories",
	 [](const fs::path &d) { fs::remove_all(d / "links"), fs::create_symlink("links", d / "links"); },
	 {{0, error, "Too many levels of symbolic links"}, {3, error, "Too many levels of symbolic links"},
	  {4, error, "Too many levels of symbolic links"}}},
	// A FIFO is neither opened nor taken for an empty copy.
	{"FIFOs at a target and a path",
	 [](const fs::path &d) {
		 fs::remove(d / "data/present"), mkfifo((d / "data/present").c_str(), 0640);
		 fs::remove(d / "links/hard"), spill(d / "links/hard", "");
		 fs::remove(d / "links/odd"), mkfifo((d / "links/odd").c_str(), 0640);
	 },
	 {{0, other_file, ""}, {3, other_file, ""}, {4, other_file, ""}}},
	{"a copy that differs after its first 4 KiB",
	 [](const fs::path &d) {
		 std::string bytes(8192, 'a');
		 spill(d / "data/present", bytes, fs::perms(0640));
		 bytes[5000] = 'b';
		 fs::remove(d / "links/hard"), spill(d / "links/hard", bytes);
		 bytes[5000] = 'a';
		 fs::remove(d / "links/odd"), spill(d / "links/odd", bytes);
	 },
	 {{3, other_file, ""}}},
	// A hard link to the symbolic link itself, and a copy of what it
	// leads to, are both in place; its permission bits are those of
	// what it leads to.
	{"a target that is a symbolic link",
	 [](const fs::path &d) {
		 fs::rename(d / "data/present", d / "data/real");
		 fs::create_symlink("real", d / "data/present");
		 fs::remove(d / "links/hard"), fs::create_hard_link(d / "data/present", d / "links/hard");
	 },
	 {}},
	{"link text a prefix of the wanted",
	 [](const fs::path &d) { fs::remove(d / "data/sym"), fs::create_symlink("pres", d / "data/sym"); },
	 {{2, other_text, "pres"}}},
	// What the tree holds is escaped before it reaches a terminal.
	{"link text that forges a line",
	 [](const fs::path &d) {
		 fs::remove(d / "data/sym"),
			 fs::create_symlink("a\"\\\n\033[1m\x7f\t\v\f\a\b\r\x9b" "2J\xc2\x9b" "2J \xc3\xa9\xe9", d / "data/sym");
	 },
	 {{2, other_text, R"(a\"\\\n\033[1m\177\t\v\f\a\b\r\2332J\302\2332J é\351)"}}},
	{"a conditional target that is a dangling symbolic link",
	 [](const fs::path &d) { fs::create_symlink("nowhere", d / "data/absent"); }, {}},
	{"the unnamed code's path another file",
	 [](const fs::path &d) { fs::remove(d / "links/odd"), spill(d / "links/odd", "other"); },
	 {{4, other_file, ""}}},
	{"target missing",
	 [](const fs::path &d) { fs::remove(d / "data/present"); },
	 {{3, target_missing, ""}, {4, target_missing, ""}, {5, missing, ""}}},
	{"a target that is a symbolic link to itself",
	 [](const fs::path &d) { fs::remove(d / "data/present"), fs::create_symlink("present", d / "data/present"); },
	 {{0, error, "Too many levels of symbolic links"}, {3, error, "Too many levels of symbolic links"},
	  {4, error, "Too many levels of symbolic links"}, {5, error, "Too many levels of symbolic links"}}},
	// Not a directory is no missing conditional target, so the row
	// asks for its link.
	{"data a symbolic link to a file",
	 [](const fs::path &d) { fs::remove_all(d / "data"), spill(d / "file", "x"), fs::create_symlink("file", d / "data"); },
	 {{0, target_missing, ""}, {1, missing, ""}, {2, missing, ""}, {3, target_missing, ""},
	  {4, target_missing, ""}, {5, missing, ""}, {6, missing, ""}}},
	{"a directory at the path, its target dangling",
	 [](const fs::path &d) {
		 fs::remove(d / "links/hard"), fs::create_directory(d / "links/hard");
		 fs::remove(d / "data/present"), fs::create_symlink("nowhere", d / "data/present");
	 },
	 {{3, other_file, ""}, {4, target_missing, ""}, {5, missing, ""}}},
	{"an emptied target against a 1-byte copy",
	 [](const fs::path &d) { fs::resize_file(d / "data/present", 0), fs::remove(d / "links/hard"), spill(d / "links/hard", "x"); },
	 {{3, other_file, ""}}},
	// A tebibyte of holes is never read: only the data is compared.
	{"a sparse copy that differs only in its last byte",
	 [](const fs::path &d) { sparse(d / "data/present", "end"), fs::remove(d / "links/hard"), sparse(d / "links/hard", "enD"); },
	 {{3, other_file, ""}}},
	{"a sparse copy",
	 [](const fs::path &d) { sparse(d / "data/present", "end"), fs::remove(d / "links/hard"), sparse(d / "links/hard", "end"); },
	 {}},
	{"a sparse copy with a hole where its target has data",
	 [](const fs::path &d) { sparse(d / "data/present", "end"), fs::remove(d / "links/hard"), sparse(d / "links/hard", ""); },
	 {{3, other_file, ""}}},
	{"a sparse copy with data where its target has a hole",
	 [](const fs::path &d) { sparse(d / "data/present", ""), fs::remove(d / "links/hard"), sparse(d / "links/hard", "end"); },
	 {{3, other_file, ""}}},
	{"a sparse copy that ends in a hole",
	 [](const fs::path &d) { sparse(d / "data/present", ""), fs::remove(d / "links/hard"), sparse(d / "links/hard", ""); },
	 {}},
	{"a target of mode 0, checked by another user",
	 [](const fs::path &d) {
		 fs::remove(d / "links/hard"), fs::copy(d / "data/present", d / "links/hard");
		 fs::permissions(d, fs::perms(0755)), fs::permissions(d / "data/present", fs::perms::none);
	 },
	 {{3, error, "Permission denied"}, {5, mode, "0"}},
	 {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}},
	// The copy is swapped for a symbolic link to its target while
	// the checker is between its look and its open (held there by a
	// delay): what the link leads to is never taken for the copy.
	// strace speaks of the path and of the shell's child on standard
	// error, which is dropped.
	{"a copy swapped for a symbolic link between look and open",
	 [](const fs::path &d) {
		 fs::remove(d / "links/hard"), fs::copy(d / "data/present", d / "links/hard");
		 fs::create_symlink("../data/present", d / "links/swap");
	 },
	 {{3, other_file, ""}},
	 {"/bin/sh", "-c",
	  "(sleep 0.3; mv -T links/swap links/hard) & exec /usr/bin/strace -o /dev/null -P hard "
	  "-e trace=openat -e inject=openat:delay_enter=1000000 \"$0\" \"$@\" 2>/dev/null"}},
	{"a copy that a read fails in",
 [](const fs::path &d) { fs::remove(d / "links/hard"), fs::copy(d / "data/present", d / "links/hard"); },
 {{3, error, "Input/output error"}},
 {"/bin/sh", "-c",
  "exec /usr/bin/strace -o /dev/null -P \"$PWD/links/hard\" -e trace=pread64 -e inject=pread64:error=EIO \"$0\" \"$@\""}},
// Where the file system cannot tell data from holes, every byte is read.
{"a copy that differs where lseek cannot tell",
 [](const fs::path &d) { fs::remove(d / "links/hard"), spill(d / "links/hard", "data/presenT"); },
 {{3, other_file, ""}}, {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=lseek:error=EINVAL"}},
{"a copy where lseek cannot tell",
 [](const fs::path &d) { fs::remove(d / "links/hard"), spill(d / "links/hard", "data/present"); },
 {}, {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=lseek:error=EINVAL"}},
// A copy under another process's write lease is not waited for.
{"a copy under another's write lease",
 [](const fs::path &d) { fs::remove(d / "links/hard"), fs::copy(d / "data/present", d / "links/hard"); },
 {{3, error, "Resource temporarily unavailable"}},
 {"/bin/sh", "-c",
  "perl -e 'open F, \"<\", \"links/hard\" or die; fcntl(F, 1024, 1) or die; $| = 1; print \"held\\n\"; sleep 30' >lease & "
  "until [ -s lease ]; do sleep 0.05; done; exec \"$0\" \"$@\""}},
// Whatever a name holds reaches the terminal escaped: overlong forms,
// surrogates, a lead byte where a continuation belongs, and C1 controls.
{"link text of invalid UTF-8 and a C1 control",
 [](const fs::path &d) {
	 fs::remove(d / "data/sym"), fs::create_symlink("\xc0\xaf\xed\xa0\x80\xe2\xe2\x82\xac\xc2\x9f", d / "data/sym");
 },
 {{2, other_text, "\\300\\257\\355\\240\\200\\342\xe2\x82\xac\\302\\237"}}},
{"a copy that cannot be read",
	 [](const fs::path &d) { fs::remove(d / "links/hard"), fs::copy(d / "data/present", d / "links/hard"); },
	 {{3, error, "Too many open files"}}, {"/bin/sh", "-c", "ulimit -n 7 && exec \"$0\" \"$@\""}},
};
class Checker : public testing::TestWithParam<damage_case> {};

TEST_P(Checker, SaysWhatIsWrong)
{
	const damage_case &c = GetParam();
	if (!c.wrap.empty() && emulated())
		GTEST_SKIP() << "the emulator holds descriptors of its own";
	scratch s;
	if (c.wrap.size() > 1 && c.wrap[0] == "/usr/bin/setpriv") {
		std::vector<std::string> reach = c.wrap;
		reach.insert(reach.end(), {"/usr/bin/test", "-x", program("tests/cklinks-fixture")});
		if (getuid() != 0 || run(s.dir, reach[0], {.args = {reach.begin() + 1, reach.end()}, .native = true}).status != 0)
			GTEST_SKIP() << "only root can be another user, who must reach the program";
	}
	lay(rows, s.dir);
	ASSERT_EQ(run(s.dir, program("tests/mklinks-fixture"), {{"."}}).status, 0);
	c.spoil(s.dir);
	std::string want;
	bool trouble = false;	// a row that cannot be checked
	for (const auto &[row, f, found] : c.said) {
		want += complaint(rows[row], f, found);
		trouble = trouble || f == error;
	}
	outcome o = run(s.dir, program("tests/cklinks-fixture"), {{"."}, "", c.wrap});
	EXPECT_EQ(o.out, want);
	EXPECT_EQ(o.err, "");
	EXPECT_EQ(o.status, trouble ? 2 : want.empty() ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Fixture, Checker, testing::ValuesIn(damage_cases),
			 [](const testing::TestParamInfo<damage_case> &i) { return case_name(i.param.name); });

} // namespace
