// The creator run against the toolchain component, and the command line
// shared by every component.
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

#include "harness.h"

namespace {

// The rows the toolchain's programs carry, read from the same list.
const list toolchain = load_list(SOURCE_DIR "/components/toolchain.links");
const std::vector<link_entry> &rows = toolchain.rows;


struct stat stat_of(const fs::path &p)
{
	struct stat st {};
	lstat(p.c_str(), &st);
	return st;
}

// The trace of rows [0, end) given how each hard-link row ends.
std::string trace(std::size_t end, const std::function<way(const link_entry &)> &how)
{
	std::string t = "Verbose mode.\n";
	for (std::size_t i = 0; i < end; i++)
		t += expect(rows[i], how(rows[i]));
	return t;
}

way linked(const link_entry &e)
{
	return e.type == ENTRY_SYMLINK ? way::symlink : way::hardlink;
}

// The tree shows rows [0, end) made as how says.
void check_made(const fs::path &dir, std::size_t end,
		const std::function<way(const link_entry &)> &how = linked)
{
	for (std::size_t i = 0; i < end; i++)
		EXPECT_EQ(made(dir, rows[i]), how(rows[i])) << rows[i].path;
}

// "bin" lies on another file system, so the rows that link into it from
// "arm-none-eabi" have to copy.
void lay_split(const scratch &s)
{
	fs::create_directory(s.far / "bin");
	fs::create_directory_symlink(s.far / "bin", s.dir / "bin");
	lay(rows, s.dir);
}

std::string both(const scratch &s)
{
	return listing(s.dir) + listing(s.far);
}

std::function<way(const link_entry &)> across(const fs::path &dir)
{
	return [dir](const link_entry &e) {
		struct stat a {}, b {};
		stat((dir / e.path).parent_path().c_str(), &a);
		stat((dir / e.target).parent_path().c_str(), &b);
		return e.type == ENTRY_SYMLINK	  ? way::symlink
		       : a.st_dev == b.st_dev ? way::hardlink
					      : way::copy;
	};
}

// The first row that has to copy in a split tree.
std::size_t first_copy(const fs::path &dir)
{
	auto how = across(dir);
	std::size_t i = 0;
	while (how(rows[i]) != way::copy)
		i++;
	return i;
}

struct args_case {
	const char *prog;
	std::vector<std::string> args;
	const char *out;
	const char *err;
	int status;
};

TEST(CommandLine, ChecksArgumentsAndDirectory)
{
	const args_case cases[] = {
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
		{"cklinks-empty", {"inst", "-v", "more"}, "", "", 0},
		{"cklinks-empty", {"-v"}, "", "unable to chdir to \"-v\": No such file or directory\n", 2},
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
	for (const auto &c : cases) {
		SCOPED_TRACE(testing::PrintToString(c.args));
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
}

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

TEST(Toolchain, FailureKeepsEarlierRowsAndSparesLaterOnes)
{
	const char *const no_symlink = "cannot create symbolic link from"
				       " \"libexec/gcc/arm-none-eabi/4.6.1/liblto_plugin.so\" to \"liblto_plugin.so.0.0.0\"\n";
	const failure_case cases[] = {
		{0, [](const fs::path &d, const link_entry &e) { fs::remove(d / e.target); },
		 "child exited with code 1\n"},
		{7, [](const fs::path &d, const link_entry &e) { fs::remove(d / e.target); },
		 "child exited with code 1\n"},
		{15, [](const fs::path &d, const link_entry &e) { fs::remove_all(d / fs::path(e.path).parent_path()); },
		 no_symlink},
		// Removing the path never takes a directory with it.
		{15, [](const fs::path &d, const link_entry &e) { fs::create_directory(d / e.path); }, no_symlink},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.row);
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
}

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
	o = run(s.dir, program("cklinks-toolchain"), {{"--no-copies", "."}});
	EXPECT_EQ(o.out, copies);
	EXPECT_EQ(o.status, 1);

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

// A cp that copies only when given exactly a row's target and path.
const char *const true_cp =
	"[ $# = 2 ] && [ \"$2\" = \"bin/arm-none-eabi-${1##*/}\" ] && exec /bin/cp \"$@\"\nexit 9";

TEST(Toolchain, ReportsHowTheCopyEnded)
{
	const std::string planting = "[ -e \"$0.lost\" ] || { : >\"$0.lost\"; printf keep >outside; "
				     "/bin/ln -s \"$PWD/outside\" \"$2\"; exit 1; }\n" + std::string(true_cp);
	const std::string losing = "[ -e \"$0.lost\" ] || { : >\"$0.lost\"; : >\"$2\"; echo lost >&2; exit 1; }\n" +
				   std::string(true_cp);
	const cp_case cases[] = {
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
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
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
}

struct removal_case {
	const char *name;
	void (*prepare)(const scratch &s);	// lays the tree
	bool create;				// run mklinks first
	int runs;				// of rmlinks
	std::vector<std::string> gone;		// prepared paths rmlinks removes
};

TEST(Remover, GivesBackTheTreeAsItWas)
{
	const removal_case cases[] = {
		{"round trip", [](const scratch &s) { lay(rows, s.dir); }, true, 1, {}},
		{"round trip with copies", lay_split, true, 1, {}},
		{"removed twice", [](const scratch &s) { lay(rows, s.dir); }, true, 2, {}},
		{"never created", [](const scratch &s) { lay(rows, s.dir); }, false, 1, {}},
		{"directories at paths",
		 [](const scratch &s) {
			 lay(rows, s.dir);
			 fs::create_directory(s.dir / "bin/arm-none-eabi-nm");
			 fs::create_directories(s.dir / "bin/arm-none-eabi-ld/full");
		 },
		 false, 1, {"bin/arm-none-eabi-nm"}},
		{"symbolic link at a path",
		 [](const scratch &s) {
			 lay(rows, s.dir);
			 fs::create_symlink("c++", s.dir / "arm-none-eabi/bin/g++");
		 },
		 false, 1, {"arm-none-eabi/bin/g++"}},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
		scratch s;
		c.prepare(s);
		std::string want;
		std::istringstream prepared(both(s));
		for (std::string line; std::getline(prepared, line);)
			if (std::none_of(c.gone.begin(), c.gone.end(),
					 [&](const std::string &p) { return line.starts_with(p + "  "); }))
				want += line + "\n";
		std::string all_missing;
		for (std::size_t i = 0; i < rows.size(); i++)
			all_missing += complaint(rows[i], fault::missing);
		if (c.create) {	// and the checker finds every link in place
			EXPECT_EQ(run(s.dir, program("mklinks-toolchain"), {{"."}}).status, 0);
			outcome k = run(s.dir, program("cklinks-toolchain"), {{"."}});
			EXPECT_EQ(k.out + k.err, "");
			EXPECT_EQ(k.status, 0);
		}
		for (int i = 0; i < c.runs; i++) {
			outcome o = run(s.dir, program("rmlinks-toolchain"), {{"."}});
			EXPECT_EQ(o.out, "");
			EXPECT_EQ(o.err, "");
			EXPECT_EQ(o.status, 0);
		}
		EXPECT_EQ(both(s), want);
		if (c.create) {
			outcome k = run(s.dir, program("cklinks-toolchain"), {{"."}});
			EXPECT_EQ(k.out, all_missing);
			EXPECT_EQ(k.status, 1);
		}
	}
}

// Killed at any one of its system calls, a program leaves a tree from which
// a plain rerun reaches the very tree of a clean run, targets untouched.
TEST(Interrupted, RerunConverges)
{
	const std::pair<const char *, void (*)(const scratch &)> cases[] = {
		{"mklinks-toolchain", [](const scratch &s) { lay(rows, s.dir); }},
		{"mklinks-toolchain", lay_split},
		{"rmlinks-toolchain", [](const scratch &s) { lay(rows, s.dir), run(s.dir, program("mklinks-toolchain"), {{"."}}); }},
		{"rmlinks-toolchain", [](const scratch &s) { lay_split(s), run(s.dir, program("mklinks-toolchain"), {{"."}}); }},
	};
	// Where the far part of the tree lies differs from case to case.
	auto tree = [](const scratch &s) { return std::regex_replace(both(s), std::regex(s.far.string()), "FAR"); };
	// Under an emulator most calls are its own: kill at those the rows make.
	const std::regex chosen(emulated() ? "unlink|link|symlink|chmod|clone3?|wait4" : ".*");
	int points = 0;
	for (const auto &[prog, prepare] : cases) {
		std::map<std::string, int> calls;	// of a clean run, by name, after strace's execve
		std::string clean, linked;		// the trees after this program and after mklinks
		{
			scratch s;
			prepare(s);
			linked = tree(s);
			std::string log = s.dir.string() + ".calls";
			run(s.dir, program(prog), {{"."}, "", {"/usr/bin/strace", "-o", log}});
			std::istringstream in(slurp(log));
			for (std::string line; std::getline(in, line);)
				if (std::islower(line[0]) != 0 && !line.starts_with("execve("))
					calls[line.substr(0, line.find('('))]++;
			std::erase_if(calls, [&](const auto &c) { return !std::regex_match(c.first, chosen); });
			fs::remove(log);
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
	}
	std::printf("killed at %d points, each followed by a rerun\n", points);
}

struct page_case {
	const char *page;
	const char *verb;	// that begins each row's item
	bool verbose;		// the usage line offers -v
};

// Each program's manual page numbers the rows from 0, as the programs count
// them, and names every path in table order, escaped so that groff shows it
// as it stands and never breaks it at a hyphen; its usage line is its own.
TEST(Pages, NameEveryPathInOrder)
{
	const page_case cases[] = {
		{"mklinks-toolchain.1", "Replace", true},
		{"rmlinks-toolchain.1", "Remove", false},
		{"cklinks-toolchain.1", "The path", false},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.page);
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
}

} // namespace
