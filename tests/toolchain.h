// What the tests of several programs share about the toolchain component:
// its rows, read from its list as the programs were built from it, and how
// its tree is laid, made and compared.
#pragma once

#include <functional>
#include <string>
#include <sys/stat.h>

#include "harness.h"

namespace toolchain_tree {

// The rows the toolchain's programs carry, read from the same list.
inline const list toolchain = load_list(SOURCE_DIR "/components/toolchain.links");
inline const std::vector<link_entry> &rows = toolchain.rows;


inline struct stat stat_of(const fs::path &p)
{
	struct stat st {};
	lstat(p.c_str(), &st);
	return st;
}

// The trace of rows [0, end) given how each hard-link row ends.
inline std::string trace(std::size_t end, const std::function<way(const link_entry &)> &how)
{
	std::string t = "Verbose mode.\n";
	for (std::size_t i = 0; i < end; i++)
		t += expect(rows[i], how(rows[i]));
	return t;
}

inline way linked(const link_entry &e)
{
	return e.type == ENTRY_SYMLINK ? way::symlink : way::hardlink;
}

// The tree shows rows [0, end) made as how says.
inline void check_made(const fs::path &dir, std::size_t end,
		const std::function<way(const link_entry &)> &how = linked)
{
	for (std::size_t i = 0; i < end; i++)
		EXPECT_EQ(made(dir, rows[i]), how(rows[i])) << rows[i].path;
}

// "bin" lies on another file system, so the rows that link into it from
// "arm-none-eabi" have to copy.
inline void lay_split(const scratch &s)
{
	fs::create_directory(s.far / "bin");
	fs::create_directory_symlink(s.far / "bin", s.dir / "bin");
	lay(rows, s.dir);
}

inline std::string both(const scratch &s)
{
	return listing(s.dir) + listing(s.far);
}

inline std::function<way(const link_entry &)> across(const fs::path &dir)
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
inline std::size_t first_copy(const fs::path &dir)
{
	auto how = across(dir);
	std::size_t i = 0;
	while (how(rows[i]) != way::copy)
		i++;
	return i;
}

} // namespace toolchain_tree
