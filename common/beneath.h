// Work beneath the installation directory through descriptors, so that
// another process that can write somewhere in the tree cannot make a row
// act outside it. The programs change into the directory first; every row's
// path and target are then reached from there.
//
// A directory of a row is opened once and used through its descriptor: the
// kernel resolves it beneath the tree, so no symbolic link, however quickly
// swapped in, leads out. A symbolic link the tree holds to a directory
// outside it, as a packager may mean "etc -> /etc/tool", is followed only
// where it lies in a directory that nobody but root and the running user can
// write, since only they could have put it there.
#pragma once

#include <sys/stat.h>

// Where a row's path or target lies: the directory that holds it, open (or
// the installation directory itself, AT_FDCWD), and its last component,
// which points into the row's own string.
struct place {
	int dir;
	const char *name;
};

enum class reach {
	found,		// p is set
	failed,		// errno says why, as a system call would
	refused,	// following a symbolic link there is unsafe
};

// Open the directory that holds path, or find it open from an earlier row.
reach locate(const char *path, place &p);

// Whether nobody but root and the running user can change what path leads
// to: neither its own directory nor any on the way there, following the
// symbolic links that locate follows. A missing directory ends the way.
bool guarded(const char *path);

// Whether the directory holding a row's path may hold a symbolic link that
// someone else put there.
bool open_to_others(const place &p);

// Follow path, its last component too, through symbolic links only where
// locate would follow them. Returns a descriptor opened with O_PATH, or -1
// with errno set; errno is EXDEV where following was refused.
int follow(const char *path);

// Why a refused link is not followed, for the messages of every program.
extern const char unsafe_link[];

// What open_regular returns where it opens nothing: errno tells why.
enum { not_found = -1, not_regular = -2, unreadable = -3 };

// Open what the O_PATH descriptor at leads to for reading if it is a
// regular file, and close at. The reopening reads nothing that was not
// looked at first.
int reopen_regular(int at, struct stat &st);

// Open name in dir for reading only if it is a regular file, following a
// last symbolic link only where follow is 0 rather than O_NOFOLLOW, and
// say its status in st. The first open reads nothing, and so wakes no
// device and releases no FIFO's writer; the second reopens the very file
// the first found, so a name swapped in between is never followed.
int open_regular(const place &p, int nofollow, struct stat &st);
