// Black-box test support: lay out a component's tree, run a built program in
// a scratch directory, and derive the trace a row should give from the table.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "layout.h"

struct outcome {
	int status;	// exit status, or 128 + signal
	std::string out;
	std::string err;
};

struct launch {
	std::vector<std::string> args {};
	std::string path {};	// PATH for the program; empty keeps ours
	std::vector<std::string> wrap {};// a command to run the program under
	bool ignore_sigchld = false;	// start it with SIGCHLD ignored
	int decoy = -1;			// exit status of a child it inherits
	bool merged = false;		// stderr into the file of stdout
	bool subreaper = false;		// orphans come to the test, not to init
	bool native = false;		// a program of this machine: no emulator
};

// A built program of the build tree, by name.
std::string program(const std::string &name);

// The linklist the build runs, a program of this machine.
std::string linklist();

// Whether the programs run under an emulator.
bool emulated();

// Whether the programs carry the sanitizers' runtime.
bool sanitized();

// Run prog with cwd as current directory, under the build's emulator where
// it has one; stdout and stderr go to files, or both to the one of stdout.
outcome run(const fs::path &cwd, const std::string &prog, const launch &l);

// How a link-making row ended.
enum class way { hardlink, copy, symlink, skip, none };

inline void PrintTo(way w, std::ostream *os)
{
	static const char *const names[] = {"hardlink", "copy", "symlink", "skip", "none"};
	*os << names[static_cast<int>(w)];
}

// The trace lines of one row; none gives only the line before the action.
std::string expect(const link_entry &e, way w);

// What the checker says of a row that is not in place; found is the text
// of another symbolic link, as the checker escapes it, the mode the path has
// instead, or the text of an error.
enum class fault { missing, other_file, not_symlink, other_text, mode, target_missing, error };
std::string complaint(const link_entry &e, fault f, const std::string &found = "");

// What the tree shows of a row: its path shares its target's inode, holds a
// copy of it (where the path is a directory, in the file cp made there), is
// a symbolic link holding the target, is missing (skip), or none of these.
way made(const fs::path &dir, const link_entry &e);

// A GoogleTest name for a case of a table: its words, each run of bytes
// that are no letters or digits one underscore, so that CTest can run the
// case alone.
std::string case_name(const std::string &words);

// A manual page as man shows it, but on lines too wide to break a name.
std::string render(const std::string &page);

// A fresh directory for one test case, and one on another file system
// (/dev/shm), both removed when the case ends.
struct scratch {
	fs::path dir;
	fs::path far;
	scratch();
	~scratch();
	scratch(const scratch &) = delete;
	scratch &operator=(const scratch &) = delete;
};
