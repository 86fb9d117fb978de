// mklinks run against the toolchain component: every row, failures, copies
// and how they end, and a run killed at any point.
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

TEST(Toolchain, RunsEveryRowAndAgain)
{
	scratch s;
	lay(rows, s.dir);
	for (int pass = 0; pass < 2; pass++) {
		outcome o = run(s.dir, program("mklinks-toolchain"), {{".", "-v"}});
		EXPECT_EQ(o.out, trace(rows.size(), linked));
		EXPECT_EQ(o.err, "");
		EXPECT_EQ(o.status, 0);
		check_made(s.dir, rows.size());
	}
	std::string before = listing(s.dir);
	EXPECT_EQ(run(s.dir, program("mklinks-toolchain"), {{"."}}).out, "");
	EXPECT_EQ(listing(s.dir), before);
}

struct failure_case {
	std::size_t row;
	void (*spoil)(const fs::path &dir, const link_entry &e);
	const char *err_end;	// after whatever cp itself wrote
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const failure_case &c, std::ostream *os)
{
	*os << "row " << c.row;
}

const char *const no_symlink = "cannot create symbolic link from"
			       " \"libexec/gcc/arm-none-eabi/4.6.1/liblto_plugin.so\" to \"liblto_plugin.so.0.0.0\"\n";
const failure_case failure_keeps_earlier_rows_and_spares_later_ones_cases[] = {
	{0, [](const fs::path &d, const link_entry &e) { fs::remove(d / e.target); },
	 "child exited with code 1\n"},
	{7, [](const fs::path &d, const link_entry &e) { fs::remove(d / e.target); },
	 "child exited with code 1\n"},
	{15, [](const fs::path &d, const link_entry &e) { fs::remove_all(d / fs::path(e.path).parent_path()); },
	 no_symlink},
	// Removing the path never takes a directory with it.
	{15, [](const fs::path &d, const link_entry &e) { fs::create_directory(d / e.path); }, no_symlink},
};

class FailureKeepsEarlierRowsAndSparesLaterOnesCase : public testing::TestWithParam<failure_case> {};

TEST_P(FailureKeepsEarlierRowsAndSparesLaterOnesCase, FailureKeepsEarlierRowsAndSparesLaterOnes)
{
	const failure_case &c = GetParam();
	scratch s;
	lay(rows, s.dir);
	c.spoil(s.dir, rows[c.row]);
	for (std::size_t i = c.row + 1; i < rows.size(); i++)
		if (fs::exists(fs::path(s.dir / rows[i].path).parent_path()))
			spill(s.dir / rows[i].path, "old");
	outcome o = run(s.dir, program("mklinks-toolchain"), {{".", "-v"}});
	EXPECT_EQ(o.status, 1);
	EXPECT_EQ(o.out, trace(c.row, linked) + expect(rows[c.row], way::none));
	EXPECT_TRUE(o.err.ends_with(c.err_end)) << o.err;
	if (rows[c.row].type == ENTRY_HARDLINK) {	// cp names itself as it was started
		EXPECT_TRUE(o.err.starts_with("cp: ")) << o.err;
	}
	check_made(s.dir, c.row);
	for (std::size_t i = c.row + 1; i < rows.size(); i++) {
		fs::path p = s.dir / rows[i].path;
		if (fs::exists(p.parent_path())) {
			EXPECT_EQ(slurp(p), "old") << p;
			EXPECT_EQ(stat_of(p).st_nlink, 1U) << p;
		}
	}
}

INSTANTIATE_TEST_SUITE_P(Toolchain, FailureKeepsEarlierRowsAndSparesLaterOnesCase, testing::ValuesIn(failure_keeps_earlier_rows_and_spares_later_ones_cases),
			 [](const testing::TestParamInfo<failure_case> &i) { return case_name(std::to_string(i.index) + " row " + std::to_string(i.param.row)); });

TEST(Toolchain, CopiesAcrossFileSystems)
{
	scratch s;
	lay_split(s);
	outcome o = run(s.dir, program("mklinks-toolchain"), {{".", "-v"}});
	EXPECT_EQ(o.out, trace(rows.size(), across(s.dir)));
	EXPECT_NE(o.out.find("processed copy"), std::string::npos);
	EXPECT_EQ(o.err, "");
	EXPECT_EQ(o.status, 0);
	check_made(s.dir, rows.size(), across(s.dir));

	// Copies are in place, unless the checker is asked for links alone.
	EXPECT_EQ(run(s.dir, program("cklinks-toolchain"), {{"."}}).status, 0);
	std::string copies;
	for (std::size_t i = 0; i < rows.size(); i++)
		if (across(s.dir)(rows[i]) == way::copy)
			copies.append("\"").append(rows[i].path).append("\": a copy of \"")
				.append(rows[i].target).append("\", not a hard link\n");
	for (const std::vector<std::string> &args : {std::vector<std::string>{"--no-copies", "."}, {".", "--no-copies"}}) {
		o = run(s.dir, program("cklinks-toolchain"), {args});
		EXPECT_EQ(o.out, copies);
		EXPECT_EQ(o.status, 1);
	}

	// The checker names exactly the rows spoilt since, and changes nothing.
	const link_entry &removed = rows[0], &copy = rows[first_copy(s.dir)];
	auto symbolic = [](const link_entry &e) { return e.type == ENTRY_SYMLINK; };
	const link_entry &sym = *std::find_if(rows.data(), rows.data() + rows.size(), symbolic);
	const link_entry &file = *std::find_if(&sym + 1, rows.data() + rows.size(), symbolic);
	fs::remove(s.dir / removed.path);
	fs::resize_file(s.dir / copy.path, 1);
	fs::remove(s.dir / sym.path);
	std::string other = std::string(sym.target) + ".old";
	fs::create_symlink(other, s.dir / sym.path);
	fs::remove(s.dir / file.path);
	spill(s.dir / file.path, "a file");
	std::string spoilt = both(s);
	o = run(s.dir, program("cklinks-toolchain"), {{"."}});
	EXPECT_EQ(o.out, complaint(removed, fault::missing) + complaint(copy, fault::other_file) +
				 complaint(sym, fault::other_text, other) + complaint(file, fault::not_symlink));
	EXPECT_EQ(o.status, 1);
	EXPECT_EQ(both(s), spoilt);
}

struct cp_case {
	const char *name;
	const char *stub;	// body of a cp script; nullptr: no cp at all
	launch how;
	const char *err;
	int status;
	int runs = -1;			// of cp, where counted
	std::size_t row = SIZE_MAX;	// that fails; SIZE_MAX: the first to copy
};

// How GoogleTest names the case where it shows it.
[[maybe_unused]] void PrintTo(const cp_case &c, std::ostream *os)
{
	*os << c.name;
}

// A cp that copies only when given exactly a row's target and path.
const char *const true_cp =
	"[ $# = 2 ] && [ \"$2\" = \"bin/arm-none-eabi-${1##*/}\" ] && exec /bin/cp \"$@\"\nexit 9";

const std::string planting = "[ -e \"$0.lost\" ] || { : >\"$0.lost\"; printf keep >outside; "
			     "/bin/ln -s \"$PWD/outside\" \"$2\"; exit 1; }\n" + std::string(true_cp);
const std::string losing = "[ -e \"$0.lost\" ] || { : >\"$0.lost\"; : >\"$2\"; echo lost >&2; exit 1; }\n" +
			   std::string(true_cp);
const cp_case reports_how_the_copy_ended_cases[] = {
	{"no cp", nullptr, {}, "exec: No such file or directory\nchild exited with code 1\n", 1},
	{"cp fails", "exit 3", {}, "child exited with code 3\n", 1},
	{"cp killed", "kill -9 $$", {}, "child got signal 9\n", 1},
	// The core flag in the status is no part of the signal's number.
	{"cp dumps core", "ulimit -c unlimited; kill -QUIT $$", {}, "child got signal 3\n", 1},
	{"cp copies", true_cp, {}, "", 0},
	// An inherited child that ended well says nothing of the copy.
	{"decoy ended well", "exit 3", {.decoy = 0}, "child exited with code 3\n", 1},
	{"decoy ended badly", true_cp, {.decoy = 7}, "", 0},
	// Started with SIGCHLD ignored, cp's status must still be read.
	{"SIGCHLD ignored", true_cp, {.ignore_sigchld = true}, "", 0},
	{"fork fails", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=clone,fork,vfork:error=EAGAIN"}},
	 "fork: Resource temporarily unavailable\n", 1},
	{"wait fails", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=wait4,waitid:error=ECHILD"}},
	 "wait: No child processes\n", 1},
	{"cp stopped", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=wait4:poke_exit=@arg2=7f130000"}},
	 "unexpected wait status: 4991\n", 1},
	// Killed by pid alone, the creator must take its copy with it,
	// also when cp ignores the polite signal.
	{"creator killed",
	 "trap '' TERM; exec 9>stub/lock; /usr/bin/flock 9; kill -9 $PPID; /bin/sleep 1 9>&-; exec /bin/cp \"$@\"",
	 {}, "", 128 + SIGKILL},
	// Gone before the copy could ask to die with it, the creator is
	// not outlived either.
	{"creator gone first", true_cp,
	 {.wrap = {"/usr/bin/strace", "-f", "-o", "/dev/null", "-e", "inject=wait4:signal=KILL", "-e",
		   "inject=prctl:delay_enter=300000"}},
	 "", 128 + SIGKILL},
	// The trace is held until the end, so a failure written later
	// comes first in a shared file.
	{"trace after the failure", "exit 3", {.merged = true}, "child exited with code 3\n", 1},
	// The installation directory's own cp is never run, whatever
	// relative entries PATH has.
	{"relative entries around cp", true_cp, {.path = ":.:stub:STUB::"}, "", 0},
	{"only relative entries", true_cp, {.path = ":stub:."},
	 "exec: No such file or directory\nchild exited with code 1\n", 1},
	{"cp is a directory", nullptr, {.path = "STUB/dir:/nonexistent"},
	 "exec: Permission denied\nchild exited with code 1\n", 1},
	// The search goes on past a directory named cp, an entry that is
	// a file and one longer than PATH_MAX, and stops at any other
	// error, whatever a later entry holds.
	{"cp found past what holds none", true_cp, {.path = "STUB/dir:STUB/cp:/LONG:STUB"}, "", 0},
	{"cp a symbolic-link loop", true_cp, {.path = "STUB/loop:STUB"},
	 "exec: Too many levels of symbolic links\nchild exited with code 1\n", 1},
	// With no cp at all, the error is the last entry's.
	{"last entry a file", nullptr, {.path = "/nonexistent:STUB/file"},
	 "exec: Not a directory\nchild exited with code 1\n", 1},
	{"PATH unset: the default path", nullptr, {.wrap = {"/usr/bin/env", "-u", "PATH"}}, "", 0},
	{"PATH empty", nullptr, {.wrap = {"/usr/bin/env", "PATH="}},
	 "exec: No such file or directory\nchild exited with code 1\n", 1},
	// A creator killed under a subreaper has a copy whose new parent
	// is not init, and the copy must not run all the same.
	{"creator gone first, under a subreaper", true_cp,
	 {.wrap = {"/usr/bin/strace", "-f", "-o", "/dev/null", "-e", "inject=wait4:signal=KILL", "-e",
		   "inject=prctl:delay_enter=300000"},
	  .subreaper = true},
	 "", 128 + SIGKILL},
	// A path that another installer made again between our removal
	// and our link is taken away again, not copied onto.
	{"link meets a path made again", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=link,linkat:error=EEXIST:when=1"}}, "", 0},
	{"symlink meets a path made again", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=symlink,symlinkat:error=EEXIST:when=1"}},
	 "", 0},
	// A path made again at every try is left alone, never copied
	// onto: it may be a link that cp would write through.
	{"link meets a path made 7 times", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=link,linkat:error=EEXIST:when=1..7"}}, "", 0},
	{"link meets a path made 8 times", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=link,linkat:error=EEXIST:when=1..8"}},
	 "cannot create hard link from \"arm-none-eabi/bin/g++\" to \"arm-none-eabi/bin/c++\": File exists\n", 1,
	 0, 0},
	{"link meets a path made every time", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=link,linkat:error=EEXIST"}},
	 "cannot create hard link from \"arm-none-eabi/bin/g++\" to \"arm-none-eabi/bin/c++\": File exists\n", 1,
	 0, 0},
	{"symlink meets a path made every time", true_cp,
	 {.wrap = {"/usr/bin/strace", "-o", "/dev/null", "-e", "inject=symlink,symlinkat:error=EEXIST"}},
	 "cannot create symbolic link from \"libexec/gcc/arm-none-eabi/4.6.1/liblto_plugin.so\" to "
	 "\"liblto_plugin.so.0.0.0\"\n", 1, -1, 15},
	// A cp that lost its create to another installer's leaves the
	// path made and is run once more, and what it said goes unsaid;
	// one that fails of itself fails again, and is heard once.
	{"cp loses to another installer's", losing.c_str(), {}, "", 0},
	// What a failed cp left is removed before the second, which
	// would otherwise write through a symbolic link left there.
	{"cp fails, leaving a symbolic link out of the tree",
	 planting.c_str(), {}, "", 0},
	{"cp fails, leaving a part", "printf part >\"$2\"; echo 'cp: full' >&2; exit 4", {},
	 "cp: full\nchild exited with code 4\n", 1, 2},
	{"cp fails, leaving nothing", "echo 'cp: denied' >&2; exit 1", {}, "cp: denied\nchild exited with code 1\n",
	 1, 1},
};

class ReportsHowTheCopyEndedCase : public testing::TestWithParam<cp_case> {};

TEST_P(ReportsHowTheCopyEndedCase, ReportsHowTheCopyEnded)
{
	const cp_case &c = GetParam();
	scratch s;
	lay_split(s);
	fs::create_directories(s.dir / "stub/dir/cp");
	fs::create_directories(s.dir / "stub/loop");
	fs::create_symlink("cp", s.dir / "stub/loop/cp");
	spill(s.dir / "stub/file", "");
	if (c.stub != nullptr)
		spill(s.dir / "stub/cp", std::string("#!/bin/sh\necho >>\"$0.runs\"\n") + c.stub + "\n", fs::perms(0755));
	spill(s.dir / "cp", "#!/bin/sh\n: >planted-cp-ran\nexec /bin/cp \"$@\"\n", fs::perms(0755));
	launch how = c.how;
	how.args = {".", "-v"};
	std::string stub = (s.dir / "stub").string();
	how.path = how.path.empty() ? stub : std::regex_replace(how.path, std::regex("STUB"), stub);
	how.path = std::regex_replace(how.path, std::regex("LONG"), std::string(PATH_MAX, 'x'));
	outcome o = run(s.dir, program("mklinks-toolchain"), how);
	std::string lead = how.merged ? c.err : "";	// in the file before the trace
	EXPECT_EQ(o.err, how.merged ? "" : c.err);
	EXPECT_EQ(o.status, c.status);
	EXPECT_FALSE(fs::exists(s.dir / "planted-cp-ran"));
	if (c.status == 128 + SIGKILL) {
		int lock = open((s.dir / "stub/lock").c_str(), O_RDONLY | O_CREAT, 0644);	// held while cp lives
		flock(lock, LOCK_EX);
		close(lock);
		EXPECT_FALSE(fs::exists(s.dir / rows[first_copy(s.dir)].path));
		EXPECT_EQ(run(s.dir, program("mklinks-toolchain"), {{"."}}).status, 0);
		check_made(s.dir, rows.size(), across(s.dir));
	} else if (c.status == 0) {
		EXPECT_EQ(o.out, trace(rows.size(), across(s.dir)));
		check_made(s.dir, rows.size(), across(s.dir));
	} else {
		std::size_t row = c.row == SIZE_MAX ? first_copy(s.dir) : c.row;
		EXPECT_EQ(o.out, lead + trace(row, across(s.dir)) + expect(rows[row], way::none));
	}
	if (fs::exists(s.dir / "outside")) {
		EXPECT_EQ(slurp(s.dir / "outside"), "keep");
	}
	if (c.runs >= 0) {
		std::string runs = fs::exists(s.dir / "stub/cp.runs") ? slurp(s.dir / "stub/cp.runs") : "";
		EXPECT_EQ(runs, std::string(static_cast<std::size_t>(c.runs), '\n'));
	}
}

INSTANTIATE_TEST_SUITE_P(Toolchain, ReportsHowTheCopyEndedCase, testing::ValuesIn(reports_how_the_copy_ended_cases),
			 [](const testing::TestParamInfo<cp_case> &i) { return case_name(std::to_string(i.index) + " " + std::string(i.param.name)); });

struct kill_case {
	const char *name;
	const char *prog;
	void (*prepare)(const scratch &);
};

[[maybe_unused]] void PrintTo(const kill_case &c, std::ostream *os)
{
	*os << c.name;
}

const kill_case kill_cases[] = {
	{"mklinks", "mklinks-toolchain", [](const scratch &s) { lay(rows, s.dir); }},
	{"mklinks copying", "mklinks-toolchain", lay_split},
	{"rmlinks", "rmlinks-toolchain", [](const scratch &s) { lay(rows, s.dir), run(s.dir, program("mklinks-toolchain"), {{"."}}); }},
	{"rmlinks after copies", "rmlinks-toolchain",
	 [](const scratch &s) { lay_split(s), run(s.dir, program("mklinks-toolchain"), {{"."}}); }},
};

class Interrupted : public testing::TestWithParam<kill_case> {};

// Killed at any one of its system calls, a program leaves a tree from which
// a plain rerun reaches the very tree of a clean run, targets untouched.
TEST_P(Interrupted, RerunConverges)
{
	const char *prog = GetParam().prog;
	void (*prepare)(const scratch &) = GetParam().prepare;
	// Where the far part of the tree lies differs from case to case.
	auto tree = [](const scratch &s) { return std::regex_replace(both(s), std::regex(s.far.string()), "FAR"); };
	// Under an emulator most calls are its own: kill at those the rows make.
	// The sanitizers' runtime maps memory as often as it sees fit, which
	// need not be as often from run to run, and the programs themselves
	// allocate nothing: kill at every call but those.
	const std::regex chosen(emulated()    ? "(unlink|link|symlink|fchmod|chmod)(at|at2)?|openat2|clone3?|wait4"
				: sanitized() ? "(?!(mmap|munmap|mprotect|madvise|mremap|brk)$).*"
					      : ".*");
	int points = 0;
	std::map<std::string, int> calls;	// of a clean run, by name, after strace's execve
	std::string clean, linked;		// the trees after this program and after mklinks
	{
		scratch s;
		prepare(s);
		linked = tree(s);
		std::string log = s.dir.string() + ".calls";
		// The kill points come from this run, which must have run
		// whole, traced, for them to mean anything.
		ASSERT_EQ(run(s.dir, program(prog), {{"."}, "", {"/usr/bin/strace", "-o", log}}).status, 0) << prog;
		std::istringstream in(slurp(log));
		for (std::string line; std::getline(in, line);)
			if (std::islower(line[0]) != 0 && !line.starts_with("execve("))
				calls[line.substr(0, line.find('('))]++;
		std::erase_if(calls, [&](const auto &c) { return !std::regex_match(c.first, chosen); });
		fs::remove(log);
		ASSERT_FALSE(calls.empty()) << prog << ": the traced run made no call to kill at";
		clean = tree(s);
		if (std::string(prog).starts_with("mklinks"))
			linked = clean;
	}
	// The checker says in place exactly where the links are.
	auto check = [&](const scratch &s) {
		EXPECT_EQ(run(s.dir, program("cklinks-toolchain"), {{"."}}).status, tree(s) == linked ? 0 : 1);
	};
	for (const auto &[name, count] : calls)
		for (int k = 1; k <= count; k++, points++) {
			std::string inject = "inject=" + name + ":signal=KILL:when=" + std::to_string(k);
			SCOPED_TRACE(std::string(prog) + " " + inject);
			scratch s;
			prepare(s);
			launch killed{{"."}, "", {"/usr/bin/strace", "-o", "/dev/null", "-e", inject}};
			EXPECT_EQ(run(s.dir, program(prog), killed).status, 128 + SIGKILL);
			check(s);
			EXPECT_EQ(run(s.dir, program(prog), {{"."}}).status, 0);
			EXPECT_EQ(tree(s), clean);
			check(s);
		}
	std::printf("killed at %d points, each followed by a rerun\n", points);
	// Every row's removal is a point at least.
	EXPECT_GE(points, 17);
}

INSTANTIATE_TEST_SUITE_P(Toolchain, Interrupted, testing::ValuesIn(kill_cases),
			 [](const testing::TestParamInfo<kill_case> &i) { return case_name(i.param.name); });

} // namespace
