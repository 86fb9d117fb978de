// Black-box test support: lay out a component's tree, run a built program in
// a scratch directory, and derive the trace a row should give from the table.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "link_table.h"

namespace fs = std::filesystem;

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
};

// A built program of the build tree, by name.
std::string program(const std::string &name);

// Run prog with cwd as current directory; stdout and stderr go to files.
outcome run(const fs::path &cwd, const std::string &prog, const launch &l);

// Give every target of the table a file holding its own name, and make the
// directory of every path.
void lay(const fs::path &dir);

// One sorted line per entry under dir: path, kind, mode, then the link
// count and content of a file, or the text of a symbolic link.
std::string listing(const fs::path &dir);

std::string slurp(const fs::path &p);
void spill(const fs::path &p, const std::string &text, fs::perms mode = fs::perms(0644));

// How a link-making row ended.
enum class way { hardlink, copy, symlink, skip, none };

inline void PrintTo(way w, std::ostream *os)
{
	static const char *const names[] = {"hardlink", "copy", "symlink", "skip", "none"};
	*os << names[static_cast<int>(w)];
}

// The trace lines of one row; none gives only the line before the action.
std::string expect(const link_entry &e, way w);

// What the tree shows of a row: its path shares its target's inode, holds a
// copy of it, is a symbolic link holding the target, is missing (skip), or
// none of these.
way made(const fs::path &dir, const link_entry &e);

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
