// cklinks: say whether a component's links are in place inside its
// installation directory, as a clean run of mklinks leaves them, and change
// nothing there.
//
// usage: cklinks-COMPONENT [--no-copies] directory
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "beneath.h"
#include "link_entry.h"
#include "options.h"
#include "owner.h"
#include "say.h"

// Whether a copy where a hard link belongs is taken for one in place, as
// mklinks makes it where the file system refuses the link, or named: a
// tree shipped in an archive is back whole only with its links.
static bool no_copies;

// Say what is wrong at a row's path, on a line of its own, with every name
// quoted and escaped: the tree is not ours.
static bool wrong(const char *path, const char *what)
{
	say("%q: %s\n", path, what);
	return false;
}

// Whether a row could not be checked at all, which the exit status tells
// apart from a row found out of place, as cmp(1) does.
static bool trouble;

// Say why a name cannot be looked at or read, which is trouble.
static bool failed(const char *path, int error)
{
	trouble = true;
	return wrong(path, strerror(error));
}

// A path that cannot be looked at is missing, or says why not.
static bool unseen(const char *path)
{
	if (errno == ENOENT || errno == ENOTDIR)
		return wrong(path, "missing");
	return errno == EXDEV ? wrong(path, unsafe_link) : failed(path, errno);
}

// Find where a row's name lies; a way through a link that someone else
// could have put there is not followed, and errno says so as EXDEV.
static bool find(const char *name, place &p)
{
	switch (locate(name, p)) {
	case reach::found:
		return true;
	case reach::failed:
		return false;
	case reach::refused:
		break;
	}
	errno = EXDEV;
	return false;
}

// Read up to n bytes at off, fewer only at the end of the file.
static ssize_t fill(int fd, char *buf, std::size_t n, off_t off)
{
	std::size_t got = 0;
	while (got < n) {
		ssize_t r = pread(fd, buf + got, n - got, off + static_cast<off_t>(got));
		if (r == -1)
			return -1;
		if (r == 0)
			break;
		got += static_cast<std::size_t>(r);
	}
	return static_cast<ssize_t>(got);
}

// Where the next data of fd lies at or after off, before end; end where
// only a hole is left. A file system that cannot tell has data everywhere.
static off_t next_data(int fd, off_t off, off_t end)
{
	off_t d = lseek(fd, off, SEEK_DATA);
	if (d == -1)
		return errno == ENXIO ? end : off;
	return d < end ? d : end;
}

static off_t next_hole(int fd, off_t off, off_t end)
{
	off_t h = lseek(fd, off, SEEK_HOLE);
	return h == -1 || h > end ? end : h;
}

// What comparing a copy found.
enum class copy { same, other, target_missing, failed };

// Whether path holds the bytes of what target leads to, both regular files.
// The path itself is looked at, not what it may lead to since it was seen.
static copy compare(const place &target, const place &path)
{
	struct stat ts {}, ps {};
	int t = open_regular(target, 0, ts);
	if (t == not_found && (errno == ENOENT || errno == ENOTDIR))
		return copy::target_missing;
	if (t == not_found || t == unreadable)
		return copy::failed;
	int p = t == not_regular ? not_regular : open_regular(path, O_NOFOLLOW, ps);
	off_t tsize = ts.st_size, psize = ps.st_size;
	copy found = p == not_found || p == unreadable ? copy::failed
		     : p == not_regular || t == not_regular || tsize != psize ? copy::other
									     : copy::same;
	// A file that says it is empty is taken at its word, so a pseudo-file
	// such as the kernel's log, which says so too, is never read. Holes
	// read as zeros, so where both files have one there is nothing to
	// compare, and a sparse pair costs what its data costs.
	char a[4096], b[4096];
	for (off_t off = 0; found == copy::same && off < tsize;) {
		off_t dt = next_data(t, off, tsize), dp = next_data(p, off, tsize);
		off = dt < dp ? dt : dp;
		if (off == tsize)
			break;
		off_t et = dt == off ? next_hole(t, off, tsize) : dt;
		off_t ep = dp == off ? next_hole(p, off, tsize) : dp;
		for (off_t end = et < ep ? et : ep; found == copy::same && off < end;) {
			std::size_t want = end - off < static_cast<off_t>(sizeof a) ? static_cast<std::size_t>(end - off) : sizeof a;
			ssize_t n = fill(t, a, want, off), m = fill(p, b, want, off);
			if (n == -1 || m == -1)
				found = copy::failed;
			else if (static_cast<std::size_t>(n) != want || n != m || memcmp(a, b, want) != 0)
				found = copy::other;
			off += static_cast<off_t>(want);
		}
	}
	int saved = errno;
	if (t >= 0)
		close(t);
	if (p >= 0)
		close(p);
	errno = saved;
	return found;
}

// A hard link is in place as the target's own file, or as a copy of what
// the target leads to, which mklinks makes where the file system refuses
// the link. The link is made to the target itself, so a hard link to a
// symbolic link there is in place too.
static bool linked(const link_entry &e)
{
	place p, t;
	struct stat ps, ts;
	if (!find(e.path, p) || fstatat(p.dir, p.name, &ps, AT_SYMLINK_NOFOLLOW) == -1)
		return unseen(e.path);
	copy found = copy::other;
	if (!find(e.target, t) || fstatat(t.dir, t.name, &ts, AT_SYMLINK_NOFOLLOW) == -1)
		found = errno == ENOENT || errno == ENOTDIR ? copy::target_missing : copy::failed;
	else if (ps.st_dev == ts.st_dev && ps.st_ino == ts.st_ino)
		return true;
	else if (S_ISREG(ps.st_mode))
		found = compare(t, p);
	switch (found) {
	case copy::same:
		if (!no_copies)
			return true;
		say("%q: a copy of %q, not a hard link\n", e.path, e.target);
		return false;
	case copy::target_missing:
		say("%q: target %q is missing\n", e.path, e.target);
		return false;
	case copy::failed:
		return errno == EXDEV ? wrong(e.path, unsafe_link) : failed(e.path, errno);
	case copy::other:
		break;
	}
	say("%q: not a hard link to %q nor a copy of it\n", e.path, e.target);
	return false;
}

static bool symlinked(const link_entry &e)
{
	place p;
	char text[PATH_MAX];
	ssize_t n = find(e.path, p) ? readlinkat(p.dir, p.name, text, sizeof text - 1) : -1;
	if (n == -1)
		return errno == EINVAL ? wrong(e.path, "not a symbolic link") : unseen(e.path);
	text[n] = '\0';
	if (strcmp(text, e.target) == 0)
		return true;
	say("%q: a symbolic link to %q, not to %q\n", e.path, text, e.target);
	return false;
}

// Where the target is absent, as the creator's probe finds it (only a
// missing file counts), the row asks for nothing. Looking, unlike opening,
// never waits on a FIFO.
static bool condlinked(const link_entry &e)
{
	place t;
	struct stat ts;
	if ((!find(e.target, t) || fstatat(t.dir, t.name, &ts, 0) == -1) && errno == ENOENT)
		return true;
	return linked(e);
}

// The mode of what is at the path; a symbolic link there is followed as
// mklinks follows it, and only where nobody else could have put it.
static bool changed(const link_entry &e)
{
	place p;
	struct stat st;
	if (!find(e.path, p) || fstatat(p.dir, p.name, &st, AT_SYMLINK_NOFOLLOW) == -1)
		return unseen(e.path);
	if (S_ISLNK(st.st_mode)) {
		if (open_to_others(p))
			return wrong(e.path, "a symbolic link in a directory others can write");
		int at = follow(e.path);
		if (at == -1 || fstat(at, &st) == -1) {
			int error = errno;
			if (at != -1)
				close(at);
			errno = error;
			return unseen(e.path);
		}
		close(at);
	}
	if ((st.st_mode & 07777) == e.mode)
		return true;
	say("%q: mode %o, not %o\n", e.path, st.st_mode & 07777, e.mode);
	return false;
}

// The owner and group of the path itself, as mklinks gives them.
static bool owned(const link_entry &e)
{
	place p;
	struct stat st;
	if (!find(e.path, p) || fstatat(p.dir, p.name, &st, AT_SYMLINK_NOFOLLOW) == -1)
		return unseen(e.path);
	uid_t uid = 0;
	gid_t gid = 0;
	if (const char *why = resolve_owner(e.target, uid, gid)) {
		say("%q: owner %s: %s\n", e.path, e.target, why);
		return false;
	}
	if (st.st_uid == uid && st.st_gid == gid)
		return true;
	char now[2 * (owner_name_max + 1) + 24];
	owner_names(st.st_uid, st.st_gid, now, sizeof now);
	say("%q: owner %q, not %s\n", e.path, now, e.target);
	return false;
}

// Whether an attribute the kernel gave holds the capabilities of want, as
// the build wrote it. Revision 1 has no capabilities above 31, and
// revision 3 names the root of a user namespace too, which is not compared.
static bool same_caps(const unsigned char *now, ssize_t n, const unsigned char *want)
{
	unsigned revision = n >= 4 ? now[3] : 0;
	ssize_t size = revision == 1 ? 12 : revision == 2 ? 20 : revision == 3 ? 24 : -1;
	if (n != size || (now[0] & 1) != (want[0] & 1))
		return false;
	unsigned char words[caps_size - 4] = {};
	memcpy(words, now + 4, revision == 1 ? 8 : sizeof words);
	return memcmp(words, want + 4, sizeof words) == 0;
}

// The capabilities of the regular file at the path itself, as mklinks
// gives them.
static bool capable(const link_entry &e)
{
	place p;
	struct stat st;
	if (!find(e.path, p))
		return unseen(e.path);
	int fd = open_regular(p, O_NOFOLLOW, st);
	if (fd == not_regular)
		return wrong(e.path, "not a regular file");
	if (fd < 0)
		return fd == not_found ? unseen(e.path) : failed(e.path, errno);
	unsigned char now[24];
	ssize_t n = fgetxattr(fd, "security.capability", now, sizeof now);
	int error = errno;
	close(fd);
	if (n == -1 && error != ENODATA && error != ENOTSUP && error != ERANGE)
		return failed(e.path, error);
	const unsigned char *want = caps_bytes(e);
	if (n != -1 && same_caps(now, n, want))
		return true;
	say("%q: %s capabilities, not %s\n", e.path, n == -1 && error != ERANGE ? "no" : "other", e.target);
	return false;
}

static bool in_place(const link_entry &e)
{
	switch (e.type) {
	case ENTRY_CHMOD:
		return changed(e);
	case ENTRY_OWNER:
		return owned(e);
	case ENTRY_CAPS:
		return capable(e);
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

static const char usage[] = "usage: %s [--no-copies] directory\n";

int main(int argc, char *argv[])
{
	// Options may come before the directory or after it, as mklinks
	// takes -v after it; an argument that is neither an option known
	// here nor the one directory is refused, never ignored. After "--",
	// an argument is the directory whatever it begins with.
	const char *name = strrchr(argv[0], '/');
	name = name != nullptr ? name + 1 : argv[0];
	const char *dir = nullptr;
	bool options = true, wrong = false;
	for (int arg = 1; arg < argc; arg++) {
		const char *a = argv[arg];
		if (options && a[0] == '-' && a[1] != '\0') {
			int status = answer_standard(a, "cklinks", name, usage,
						     "Say whether the component's links are in place under directory.\n\n"
						     "      --no-copies  a copy where a hard link belongs is not in place\n"
						     "      --help       show this and exit\n"
						     "      --version    show the version and exit\n",
						     2);
			if (status != -1)
				return status;
			if (strcmp(a, "--no-copies") == 0)
				no_copies = true;
			else if (strcmp(a, "--") == 0)
				options = false;
			else
				wrong = true;
		} else if (dir == nullptr) {
			dir = a;
		} else {
			wrong = true;
		}
	}
	if (wrong) {
		complain(usage, name);
		return 2;
	}
	if (dir == nullptr) {
		complain("missing arguments\n");
		return 2;
	}
	if (chdir(dir) == -1) {
		complain("unable to chdir to %q: %s\n", dir, strerror(errno));
		return 2;
	}

	// Every row is checked, so that one run names all that is wrong.
	bool all = true;
	for (std::size_t i = 0; i < link_table_size; i++)
		all = in_place(link_table[i]) && all;
	if (fflush(stdout) != 0 || ferror(stdout) != 0)
		trouble = true;
	return trouble ? 2 : all ? 0 : 1;
}
