#include "layout.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include "kinds.h"

std::string slurp(const fs::path &p)
{
	std::string text;
	return read_file(p, text) == nullptr ? text : "";
}

void spill(const fs::path &p, const std::string &text, fs::perms mode)
{
	std::ofstream(p, std::ios::binary) << text;
	fs::permissions(p, mode);
}

list load_list(const fs::path &file)
{
	list l;
	if (!read_list(slurp(file), l, [&](std::size_t line, const std::string &what) {
		    fprintf(stderr, "%s:%zu: error: %s\n", file.c_str(), line, what.c_str());
	    })) {
		fprintf(stderr, "%s: cannot be read as a list\n", file.c_str());
		exit(2);
	}
	return l;
}

void lay(const std::vector<link_entry> &rows, const fs::path &dir)
{
	for (const link_entry &e : rows) {
		fs::path path = dir / e.path;
		fs::create_directories(path.parent_path());
		// A row of a kind without a target acts on its path.
		fs::path target = e.type == ENTRY_SYMLINK		? path.parent_path() / e.target
				  : kind_or_hardlink(e.type).target ? dir / e.target
								    : path;
		if (e.type == ENTRY_CONDLINK || fs::exists(target))
			continue;	// a conditional target is each case's choice
		fs::create_directories(target.parent_path());
		spill(target, target.lexically_relative(dir).string());
	}
}

static char kind(mode_t m)
{
	return S_ISDIR(m) ? 'd' : S_ISLNK(m) ? 'l' : S_ISREG(m) ? 'f' : S_ISFIFO(m) ? 'p' : '?';
}

std::string listing(const fs::path &dir)
{
	std::set<std::string> lines;
	for (auto &d : fs::recursive_directory_iterator(dir)) {
		struct stat st;
		lstat(d.path().c_str(), &st);
		std::ostringstream l;
		l << d.path().lexically_relative(dir).string() << "  " << kind(st.st_mode) << ' '
		  << std::oct << (st.st_mode & 07777) << std::dec;
		// A directory's link count tells of its subdirectories, and
		// only on some file systems; a file's tells of its hard links.
		if (!S_ISDIR(st.st_mode))
			l << ' ' << st.st_nlink;
		if (S_ISLNK(st.st_mode))
			l << " -> " << fs::read_symlink(d.path()).string();
		else if (S_ISREG(st.st_mode))
			l << " : " << slurp(d.path());
		lines.insert(l.str());
	}
	std::string all;
	for (auto &l : lines)
		all += l + "\n";
	return all;
}
