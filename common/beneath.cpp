#include "beneath.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

const char unsafe_link[] = "a symbolic link on its way lies in a directory others can write";

namespace {

// The directories the rows have opened, by their text in the table, which
// lives as long as the program. Rows that share a directory open it once;
// past this many, the one least recently used is closed.
struct held {
	const char *text;
	std::size_t length;
	int fd;
	unsigned long used;
};
held opened[32];
unsigned long uses;

} // namespace

// Whether anyone but root and the running user can add, remove or rename
// entries in a directory: its owner, its group other than root's, or all.
static bool writable_by_others(const struct stat &st)
{
	uid_t me = geteuid();
	return (st.st_uid != 0 && st.st_uid != me) || (st.st_mode & S_IWOTH) != 0 ||
	       ((st.st_mode & S_IWGRP) != 0 && st.st_gid != 0);
}

static bool ours(const struct stat &st)
{
	return st.st_uid == 0 || st.st_uid == geteuid();
}

static int close_keeping_errno(int fd)
{
	int saved = errno;
	close(fd);
	errno = saved;
	return -1;
}

// Walk text, n bytes long, from the installation directory a component at
// a time, as the kernel would, but following a symbolic link only where the
// directory that holds it is writable by nobody but root and the running
// user. Returns an O_PATH descriptor of where it leads, with its status in
// at, or -1 with errno (EXDEV for a link not followed). guard says whether
// every step was one that nobody else could have changed: into a directory
// that only root and the running user can write, or into an entry of ours
// in a sticky one. How far it came is in at, also where it fails.
static int chase(const char *text, std::size_t n, struct stat &at, bool &guard)
{
	char todo[2 * PATH_MAX];
	guard = true;
	if (n >= PATH_MAX) {
		errno = ENAMETOOLONG;
		return -1;
	}
	memcpy(todo, text, n);
	std::size_t from = 0, length = n;
	int here = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
	if (here == -1 || fstat(here, &at) == -1)
		return here == -1 ? -1 : close_keeping_errno(here);
	for (int links = 0; from < length;) {
		std::size_t end = from;
		while (end < length && todo[end] != '/')
			end++;
		std::size_t size = end - from;
		char name[NAME_MAX + 1];
		if (size > NAME_MAX) {
			errno = ENAMETOOLONG;
			return close_keeping_errno(here);
		}
		memcpy(name, todo + from, size);
		name[size] = '\0';
		from = end < length ? end + 1 : end;
		if (size == 0 || strcmp(name, ".") == 0)
			continue;
		int next = openat(here, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
		struct stat st;
		if (next == -1 || fstat(next, &st) == -1) {
			if (writable_by_others(at))
				guard = false;
			if (next != -1)
				close_keeping_errno(next);
			return close_keeping_errno(here);
		}
		bool open_dir = writable_by_others(at);
		if (S_ISLNK(st.st_mode)) {
			// Whoever could have put this link here could have
			// pointed it anywhere.
			char link[PATH_MAX];
			ssize_t got = -1;
			if (open_dir)
				errno = EXDEV;
			else if (++links > 40)
				errno = ELOOP;
			else
				got = readlinkat(next, "", link, sizeof link);
			close(next);
			if (got <= 0 || static_cast<std::size_t>(got) + 1 + (length - from) > sizeof todo) {
				if (got > 0)
					errno = ENAMETOOLONG;
				return close_keeping_errno(here);
			}
			std::size_t size_of_link = static_cast<std::size_t>(got);
			memmove(todo + size_of_link + 1, todo + from, length - from);
			memcpy(todo, link, size_of_link);
			todo[size_of_link] = '/';
			length = size_of_link + 1 + (length - from);
			from = 0;
			if (link[0] == '/') {
				close(here);
				here = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
				if (here == -1 || fstat(here, &at) == -1)
					return here == -1 ? -1 : close_keeping_errno(here);
			}
			continue;
		}
		// Others may add to a sticky directory, but never rename or
		// remove what is not theirs.
		if (strcmp(name, "..") != 0 && open_dir && !((at.st_mode & S_ISVTX) != 0 && ours(st)))
			guard = false;
		close(here);
		here = next;
		at = st;
	}
	return here;
}

// Open the directory dir beneath the installation directory, or, where the
// way leaves it, by the walk above.
static int open_beneath(const char *dir, std::size_t n, bool &refused)
{
	refused = false;
	char text[PATH_MAX];
	if (n >= sizeof text) {
		errno = ENAMETOOLONG;
		return -1;
	}
	memcpy(text, dir, n);
	text[n] = '\0';
	open_how how{};
	how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
	how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
	// A rename elsewhere in the tree makes the kernel ask for another try.
	for (int tries = 0; tries < 4; tries++) {
		long fd = syscall(SYS_openat2, AT_FDCWD, text, &how, sizeof how);
		if (fd >= 0)
			return static_cast<int>(fd);
		if (errno != EAGAIN)
			break;
	}
	// The way leaves the tree, or the kernel cannot tell.
	if (errno != EXDEV && errno != ELOOP && errno != ENOSYS && errno != EAGAIN)
		return -1;
	struct stat st;
	bool guard;
	int fd = chase(dir, n, st, guard);
	if (fd == -1) {
		refused = errno == EXDEV;
		return -1;
	}
	if (!S_ISDIR(st.st_mode)) {
		close(fd);
		errno = ENOTDIR;
		return -1;
	}
	return fd;
}

reach locate(const char *path, place &p)
{
	const char *slash = strrchr(path, '/');
	if (slash == nullptr) {
		p = {AT_FDCWD, path};
		return reach::found;
	}
	p.name = slash + 1;
	auto n = static_cast<std::size_t>(slash - path);
	held *victim = &opened[0];
	for (held &h : opened) {
		if (h.text != nullptr && h.length == n && memcmp(h.text, path, n) == 0) {
			h.used = ++uses;
			p.dir = h.fd;
			return reach::found;
		}
		if (h.used < victim->used)
			victim = &h;
	}
	bool refused;
	int fd = open_beneath(path, n, refused);
	if (fd == -1)
		return refused ? reach::refused : reach::failed;
	if (victim->text != nullptr)
		close(victim->fd);
	*victim = {path, n, fd, ++uses};
	p.dir = fd;
	return reach::found;
}

bool guarded(const char *path)
{
	struct stat st;
	bool guard;
	int fd = chase(path, strlen(path), st, guard);
	if (fd == -1)
		return guard && errno != EXDEV;
	close(fd);
	// A copy into a directory lands in it.
	return guard && !(S_ISDIR(st.st_mode) && writable_by_others(st));
}

bool open_to_others(const place &p)
{
	struct stat st;
	if (fstatat(p.dir, p.dir == AT_FDCWD ? "." : "", &st, p.dir == AT_FDCWD ? 0 : AT_EMPTY_PATH) == -1)
		return true;
	return writable_by_others(st);
}

int follow(const char *path)
{
	struct stat st;
	bool guard;
	return chase(path, strlen(path), st, guard);
}

int reopen_regular(int at, struct stat &st)
{
	int fd = not_regular;
	if (fstat(at, &st) == -1) {
		fd = unreadable;
	} else if (S_ISREG(st.st_mode)) {
		char self[32];
		snprintf(self, sizeof self, "/proc/self/fd/%d", at);
		fd = open(self, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
		fd = fd == -1 ? unreadable : fd;
	}
	close_keeping_errno(at);
	return fd;
}

int open_regular(const place &p, int nofollow, struct stat &st)
{
	int at = openat(p.dir, p.name, O_PATH | O_CLOEXEC | nofollow);
	if (at == -1)
		return not_found;
	return reopen_regular(at, st);
}
