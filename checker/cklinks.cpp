// cklinks: say whether a component's links are in place inside its
// installation directory, as a clean run of mklinks leaves them, and change
// nothing there.
//
// usage: cklinks-COMPONENT directory
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link_table.h"

// Say what is wrong at a row's path, on a line of its own, with the path
// quoted as the trace of mklinks quotes it.
static bool wrong(const char *path, const char *what)
{
	printf("\"%s\": %s\n", path, what);
	return false;
}

// A path that cannot be looked at is missing, or says why not.
static bool unseen(const char *path)
{
	return wrong(path, errno == ENOENT || errno == ENOTDIR ? "missing" : strerror(errno));
}

// Read up to n bytes, fewer only at the end of the file.
static ssize_t fill(int fd, char *buf, std::size_t n)
{
	std::size_t got = 0;
	while (got < n) {
		ssize_t r = read(fd, buf + got, n - got);
		if (r == -1)
			return -1;
		if (r == 0)
			break;
		got += r;
	}
	return static_cast<ssize_t>(got);
}

// Whether path, a regular file of size bytes, holds the bytes of target.
// Neither open can block: path was seen to be a regular file, and it is not
// followed if it has become a link since; target is read only if it turns
// out to be a regular file too.
static bool copied(const char *target, const char *path, off_t size)
{
	int t = open(target, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
	int p = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
	struct stat st;
	bool same = t != -1 && p != -1 && fstat(t, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == size;
	char a[4096], b[4096];
	while (same) {
		ssize_t n = fill(t, a, sizeof a), m = fill(p, b, sizeof b);
		same = n == m && n != -1 && memcmp(a, b, static_cast<std::size_t>(n)) == 0;
		if (n == 0)
			break;
	}
	if (t != -1)
		close(t);
	if (p != -1)
		close(p);
	return same;
}

// A hard link is in place as the target's own file, or as a copy of it,
// which mklinks makes where the file system refuses the link. The link is
// made to the target itself, not to what a symbolic link there points at.
static bool linked(const link_entry &e)
{
	struct stat p, t;
	if (lstat(e.path, &p) == -1)
		return unseen(e.path);
	if (lstat(e.target, &t) == 0 && p.st_dev == t.st_dev && p.st_ino == t.st_ino)
		return true;
	if (S_ISREG(p.st_mode) && copied(e.target, e.path, p.st_size))
		return true;
	printf("\"%s\": not a hard link to \"%s\" nor a copy of it\n", e.path, e.target);
	return false;
}

static bool symlinked(const link_entry &e)
{
	char text[PATH_MAX];
	ssize_t n = readlink(e.path, text, sizeof text - 1);
	if (n == -1)
		return errno == EINVAL ? wrong(e.path, "not a symbolic link") : unseen(e.path);
	text[n] = '\0';
	if (strcmp(text, e.target) == 0)
		return true;
	printf("\"%s\": a symbolic link to \"%s\", not to \"%s\"\n", e.path, text, e.target);
	return false;
}

// Where the target is absent, as the creator's probe finds it (only a
// missing file counts), the row asks for nothing. Looking, unlike opening,
// never waits on a FIFO.
static bool condlinked(const link_entry &e)
{
	struct stat t;
	if (stat(e.target, &t) == -1 && errno == ENOENT)
		return true;
	return linked(e);
}

static bool changed(const link_entry &e)
{
	struct stat st;
	if (stat(e.path, &st) == -1)
		return unseen(e.path);
	if ((st.st_mode & 07777) == e.mode)
		return true;
	printf("\"%s\": mode %o, not %o\n", e.path, st.st_mode & 07777, e.mode);
	return false;
}

static bool in_place(const link_entry &e)
{
	switch (e.type) {
	case ENTRY_CHMOD:
		return changed(e);
	case ENTRY_SYMLINK:
		return symlinked(e);
	case ENTRY_CONDLINK:
		return condlinked(e);
	case ENTRY_HARDLINK:
		break;
	}
	// Codes without a name are carried out as hard links.
	return linked(e);
}

int main(int argc, char *argv[])
{
	if (argc < 2) {
		dprintf(STDERR_FILENO, "missing arguments\n");
		return 1;
	}
	if (chdir(argv[1]) == -1) {
		dprintf(STDERR_FILENO, "unable to chdir to \"%s\": %s\n", argv[1], strerror(errno));
		return 1;
	}

	// Every row is checked, so that one run names all that is wrong.
	bool all = true;
	for (std::size_t i = 0; i < link_table_size; i++)
		all = in_place(link_table[i]) && all;
	return all ? 0 : 1;
}
