// lslinks: write to standard output the list of every link under a staged
// tree, so that a component's links can be made again by mklinks where the
// tree was shipped in a form that cannot carry them.
//
// usage: lslinks directory
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <new>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "rules.h"
#include "text.h"

static bool failed;

// Write s in double quotes, escaped, so that a name from the tree can
// neither forge a line nor reach a terminal as an escape sequence.
static std::string quote(const std::string &s)
{
	std::string q;
	quote(s, [&](const char *p, std::size_t n) { q.append(p, n); });
	return q;
}

static void complain(const std::string &path, const char *what)
{
	fprintf(stderr, "lslinks: %s: %s\n", quote(path).c_str(), what);
	failed = true;
}

struct inode {
	dev_t dev;
	ino_t ino;
	bool operator==(const inode &) const = default;
};

struct inode_hash {
	std::size_t operator()(const inode &i) const
	{
		return std::hash<ino_t>()(i.ino) ^ (std::hash<dev_t>()(i.dev) << 1);
	}
};

static std::unordered_map<inode, std::vector<std::string>, inode_hash> names;	// of files with several
static std::vector<std::pair<std::string, std::string>> symlinks;		// path, text

static const char *kind(mode_t m)
{
	return S_ISFIFO(m) ? "a FIFO" : S_ISSOCK(m) ? "a socket" : S_ISCHR(m) ? "a character device" : "a block device";
}

// Look at every entry of the directory open at fd, known as dir, once:
// a regular file or special file for its link count, a symbolic link for its
// text. Nothing is followed, and nothing but directories is opened.
static void walk(int fd, const std::string &dir)
{
	DIR *d = fdopendir(fd);
	if (d == nullptr) {
		complain(dir, strerror(errno));
		close(fd);
		return;
	}
	std::vector<std::pair<std::string, unsigned char>> entries;
	errno = 0;
	while (const dirent *e = readdir(d)) {
		if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
			entries.emplace_back(e->d_name, e->d_type);
	}
	if (errno != 0) {
		std::string why = std::string("cannot read the directory: ") + strerror(errno);
		complain(dir.empty() ? "." : dir, why.c_str());
	}
	// In order of name, so that what is said of them comes in the same
	// order on any machine.
	std::sort(entries.begin(), entries.end());
	for (const auto &[name, type] : entries) {
		std::string path = dir;
		if (!path.empty())
			path += '/';
		path += name;
		struct stat st {};
		if (type != DT_DIR && type != DT_LNK && fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == -1) {
			complain(path, strerror(errno));
			continue;
		}
		if (type == DT_DIR || (type == DT_UNKNOWN && S_ISDIR(st.st_mode))) {
			int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
			if (sub == -1) {
				std::string why = std::string("cannot read the directory: ") + strerror(errno);
				complain(path, why.c_str());
			} else {
				walk(sub, path);
			}
		} else if (type == DT_LNK || (type == DT_UNKNOWN && S_ISLNK(st.st_mode))) {
			char text[PATH_MAX + 1];
			ssize_t n = readlinkat(fd, name.c_str(), text, sizeof text);
			if (n == -1)
				complain(path, strerror(errno));
			else
				symlinks.emplace_back(path, std::string(text, static_cast<std::size_t>(n)));
		} else if (S_ISREG(st.st_mode)) {
			if (st.st_nlink > 1)
				names[{st.st_dev, st.st_ino}].push_back(path);
		} else if (st.st_nlink > 1 && !S_ISDIR(st.st_mode)) {
			fprintf(stderr, "lslinks: warning: not listed: %s, %s with %lu names\n", quote(path).c_str(),
				kind(st.st_mode), static_cast<unsigned long>(st.st_nlink));
		}
	}
	closedir(d);
}

// The digits in the last component of a path: a versioned name holds more
// than its aliases.
static std::size_t digits(const std::string &p)
{
	return static_cast<std::size_t>(std::count_if(p.begin() + static_cast<std::ptrdiff_t>(p.rfind('/') + 1), p.end(),
					  [](char c) { return c >= '0' && c <= '9'; }));
}

// The name of a file that its other names are made hard links to: the one
// whose own name holds the most digits, then the one in the fewest
// directories, then the first byte by byte.
static bool better(const std::string &a, const std::string &b)
{
	std::size_t da = digits(a), db = digits(b);
	if (da != db)
		return da > db;
	auto depth = [](const std::string &p) { return std::count(p.begin(), p.end(), '/'); };
	if (depth(a) != depth(b))
		return depth(a) < depth(b);
	return a < b;
}

// A field of the list, in double quotes where it holds a blank, a quote or
// a backslash, and only there.
static std::string field(const char *s)
{
	std::string f = s;
	if (f.find_first_of(" \t\"\\") == std::string::npos)
		return f;
	std::string q = "\"";
	for (char c : f) {
		if (c == '"' || c == '\\')
			q += '\\';
		q += c;
	}
	return q + '"';
}

int main(int argc, char *argv[])
{
	if (argc != 2) {
		fputs("usage: lslinks directory\n", stderr);
		return 1;
	}
	int top = open(argv[1], O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
	if (top == -1) {
		fprintf(stderr, "lslinks: %s: %s\n", quote(argv[1]).c_str(), strerror(errno));
		return 1;
	}
	walk(top, "");

	// The rows, each pointing into the names gathered above, sorted by path.
	std::vector<link_entry> rows;
	rows.reserve(symlinks.size());
	for (const auto &[path, text] : symlinks)
		rows.push_back({ENTRY_SYMLINK, {text.c_str()}, path.c_str()});
	for (auto &[file, all] : names) {
		if (all.size() < 2)
			continue;	// its other names lie outside the tree
		std::sort(all.begin(), all.end(), better);
		for (std::size_t i = 1; i < all.size(); i++)
			rows.push_back({ENTRY_HARDLINK, {all[0].c_str()}, all[i].c_str()});
	}
	std::sort(rows.begin(), rows.end(), [](const link_entry &a, const link_entry &b) {
		return strcmp(a.path, b.path) < 0;
	});

	// What the build would refuse is refused here, never dropped.
	for (const finding &f : check(rows.data(), rows.size())) {
		const link_entry &e = rows[f.row];
		std::string what = "cannot be listed: " + f.rule + " (" + quote(e.target) + ")";
		complain(e.path, what.c_str());
	}
	if (failed)
		return 1;
	std::string list = "# Written by lslinks: every link of a tree, one row a link, by path.\n";
	for (const link_entry &e : rows)
		list.append(e.type == ENTRY_SYMLINK ? "symlink " : "hardlink ")
			.append(field(e.target))
			.append(" ")
			.append(field(e.path))
			.append("\n");
	fwrite(list.data(), 1, list.size(), stdout);
	return fflush(stdout) == 0 && ferror(stdout) == 0 ? 0 : 1;
}

// A failed allocation can only end the run, so the standard library's
// throws are replaced by an abort. With them goes the unwinder, which would
// make the dynamic loader a library of ours besides the C library.
void *operator new(std::size_t n)
{
	if (void *p = malloc(n != 0 ? n : 1))
		return p;
	abort();
}

void *operator new(std::size_t n, const std::nothrow_t & /*unused*/) noexcept
{
	return malloc(n != 0 ? n : 1);
}

void operator delete(void *p) noexcept
{
	free(p);
}

void operator delete(void *p, std::size_t /*n*/) noexcept
{
	free(p);
}

namespace std { // NOLINT(cert-dcl58-cpp): the library's own hooks for a build without exceptions

void __throw_bad_alloc()
{
	abort();
}

void __throw_bad_array_new_length()
{
	abort();
}

void __throw_length_error(const char * /*what*/)
{
	abort();
}

void __throw_logic_error(const char * /*what*/)
{
	abort();
}

void __throw_out_of_range_fmt(const char * /*what*/, ...)
{
	abort();
}

} // namespace std
