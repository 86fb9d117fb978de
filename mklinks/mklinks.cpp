// mklinks: carry out a component's link table inside its installation
// directory.
//
// usage: mklinks-COMPONENT directory [-v]
#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "beneath.h"
#include "link_entry.h"
#include "owner.h"
#include "say.h"

static bool verbose;

static void trace(const char *line)
{
	if (verbose)
		puts(line);
}

// Start cp as execvp would, searching PATH, or the C library's default path
// where PATH is unset, but only through its absolute entries. We have changed
// into the installation directory, so an empty, "." or other relative entry
// would run whatever the component put there, with our privileges. Returns
// only when no cp could be started, with errno as execvp would leave it.
static void exec_cp(char *const argv[])
{
	char fallback[PATH_MAX];
	const char *search = getenv("PATH");
	if (search == nullptr) {
		confstr(_CS_PATH, fallback, sizeof fallback);
		search = fallback;
	}
	bool denied = false;
	errno = ENOENT;
	for (const char *p = search;; p++) {
		const char *end = strchrnul(p, ':');
		std::size_t n = end - p;
		char file[PATH_MAX];
		if (*p == '/' && n + sizeof "/cp" <= sizeof file) {
			memcpy(file, p, n);
			memcpy(file + n, "/cp", sizeof "/cp");
			execv(file, argv);
			// These say there is no cp to run here; any other error
			// says there is one that failed to start.
			switch (errno) {
			case EACCES:
				denied = true;
				break;
			case ENOENT:
			case ENOTDIR:
			case ESTALE:
			case ENODEV:
			case ETIMEDOUT:
				break;
			default:
				return;
			}
		}
		if (*end == '\0')
			break;
		p = end;
	}
	if (denied)
		errno = EACCES;
}

// Run the system's cp to copy target to path, with its standard error on
// errors unless that is -1, and report a child that could not be made or
// waited for. Returns its wait status, or -1. The child never flushes the
// trace it inherited, so each trace line reaches standard output once even
// when it is a file or a pipe.
static int run_cp(const char *target, const char *path, int errors)
{
	// An ignored SIGCHLD survives exec and would make the kernel reap cp
	// before its status could be read.
	signal(SIGCHLD, SIG_DFL);

	pid_t parent = getpid();
	pid_t pid = fork();
	if (pid == -1) {
		report("fork");
		return -1;
	}
	if (pid == 0) {
		// A copy that outlived a killed creator would race a rerun and
		// could rewrite the file after the rerun reported success, so it
		// dies with us, also if we are gone before it could ask.
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		if (getppid() != parent)
			_exit(1);
		if (errors != -1)
			dup2(errors, STDERR_FILENO);
		// exec takes a vector of non-const strings but does not write them.
		char *const argv[] = {const_cast<char *>("cp"), const_cast<char *>(target),
				      const_cast<char *>(path), nullptr};
		exec_cp(argv);
		report("exec");
		_exit(1);
	}

	// Wait for cp itself: whoever exec'd us may have left children of its
	// own, and their end says nothing about the copy.
	int status;
	if (waitpid(pid, &status, 0) == -1) {
		report("wait");
		return -1;
	}
	return status;
}

// Write to standard error what a first cp wrote to the file errors.
static void replay(int errors)
{
	char buf[4096];
	ssize_t n;
	for (off_t off = 0; (n = pread(errors, buf, sizeof buf, off)) > 0; off += n)
		if (write(STDERR_FILENO, buf, static_cast<std::size_t>(n)) != n)
			break;
}

// Copy target to path with the system's cp, and report a copy that does
// not end well. A second installer copying the same row may make the path
// between our cp's look and its create, which that cp then refuses; so a
// cp that failed and left something at the path is run once more, on the
// path removed again, and what the first one said is shown only where
// there is no second. A copy that fails for a reason of its own fails the
// second time too.
static bool copy_with_cp(const char *target, const char *path)
{
	int errors = memfd_create("cp", MFD_CLOEXEC);
	int status = run_cp(target, path, errors);
	struct stat st;
	if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) != 0 && lstat(path, &st) == 0) {
		unlink(path);
		status = run_cp(target, path, -1);
	} else if (errors != -1) {
		replay(errors);
	}
	if (errors != -1)
		close(errors);
	if (status == -1)
		return false;
	if (WIFEXITED(status)) {
		if (WEXITSTATUS(status) == 0)
			return true;
		complain("child exited with code %d\n", WEXITSTATUS(status));
	} else if (WIFSIGNALED(status)) {
		complain("child got signal %d\n", WTERMSIG(status));
	} else {
		complain("unexpected wait status: %d\n", status);
	}
	return false;
}

// How often a link is tried at a path that something else keeps making
// anew, such as another installer at work on the same tree.
static const int tries = 8;

// Make a link at at: a hard link to from, or, where from is null, a
// symbolic link holding text. Whatever is made at the path between our
// removal and our link is removed, up to tries times. Returns 0, or the
// errno of the last failure: EEXIST where every try met something at the
// path, which is left there, or the error of a link that failed otherwise
// or of a removal that failed, such as that of a directory.
static int make_link(const place *from, const char *text, const place &at)
{
	for (int i = 1;; i++) {
		int made = from != nullptr ? linkat(from->dir, from->name, at.dir, at.name, 0)
					   : symlinkat(text, at.dir, at.name);
		if (made == 0)
			return 0;
		if (errno != EEXIST || i == tries)
			return errno;
		if (unlinkat(at.dir, at.name, 0) == -1 && errno != ENOENT)
			return errno;
	}
}

// Find where a row's path or target lies. A way that could lead out of the
// tree is refused, said and fails the row; a way that merely fails leaves
// its errno in error, for the row's own call to fail with.
static bool find(const char *name, place &p, int &error)
{
	error = 0;
	switch (locate(name, p)) {
	case reach::found:
		return true;
	case reach::failed:
		error = errno;
		return true;
	case reach::refused:
		break;
	}
	complain("refusing %q: %s\n", name, unsafe_link);
	return false;
}

// Name the i-th temporary this run tries beside a path. The process ID
// keeps two runs in one directory apart.
static void name_temporary(char (&temporary)[40], int i)
{
	snprintf(temporary, sizeof temporary, ".mklinks-%d-%d", static_cast<int>(getpid()), i);
}

// Give the file open at fd, which has no name, the name of a temporary
// beside the path: by the descriptor itself, which root may do, or through
// /proc. Returns nullptr, or why not.
static const char *name_copy(int fd, const place &p, char (&temporary)[40])
{
	char self[32];
	snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
	for (int i = 0; i < tries; i++) {
		name_temporary(temporary, i);
		if (linkat(fd, "", p.dir, temporary, AT_EMPTY_PATH) == 0 ||
		    (errno == ENOENT && linkat(AT_FDCWD, self, p.dir, temporary, AT_SYMLINK_FOLLOW) == 0))
			return nullptr;
		if (errno != EEXIST)
			return strerror(errno);
	}
	return strerror(EEXIST);
}

// Copy a file into a tree that others can write, where cp, reading and
// writing by name, could be made to read or write anything: from the file
// the walk found, into a new file beside the path, renamed over it, so that
// nothing planted at the path is ever opened. The copy is written into a
// file without a name, which a run killed meanwhile leaves nothing of, and
// named once it is whole; where the file system has no such files, into a
// file named from the start.
static bool copy_beneath(const link_entry &e, const place &p, int error)
{
	const char *why = error != 0 ? strerror(error) : nullptr;
	int from = -1, to = -1;
	struct stat st {};
	if (why == nullptr) {
		int at = follow(e.target);
		if (at == -1)
			why = errno == EXDEV ? unsafe_link : strerror(errno);
		else if ((from = reopen_regular(at, st)) < 0)
			why = from == not_regular ? "not a regular file" : strerror(errno);
	}
	char temporary[40];
	bool named = false;	// whether the temporary has its name yet
	if (why == nullptr)
		to = openat(p.dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, st.st_mode & 0777);
	for (int i = 0; why == nullptr && to == -1; i++) {
		name_temporary(temporary, i);
		to = openat(p.dir, temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0777);
		named = to != -1;
		if (to == -1 && (errno != EEXIST || i + 1 == tries))
			why = strerror(errno);
	}
	static char buf[65536];
	ssize_t n = 0;
	while (why == nullptr && (n = read(from, buf, sizeof buf)) > 0)
		for (ssize_t put = 0, w; why == nullptr && put < n; put += w)
			if ((w = write(to, buf + put, static_cast<std::size_t>(n - put))) == -1)
				why = strerror(errno);
	if (why == nullptr && n == -1)
		why = strerror(errno);
	if (why == nullptr && !named) {
		why = name_copy(to, p, temporary);
		named = why == nullptr;
	}
	if (to != -1 && close(to) == -1 && why == nullptr)
		why = strerror(errno);
	if (why == nullptr && renameat(p.dir, temporary, p.dir, p.name) == -1)
		why = strerror(errno);
	if (named && why != nullptr)
		unlinkat(p.dir, temporary, 0);
	if (from >= 0)
		close(from);
	if (why == nullptr)
		return true;
	complain("cannot copy %q to %q: %s\n", e.target, e.path, why);
	return false;
}

// Hard links are cheap and keep one copy on disk; where the file system
// refuses one, for whatever reason, a copy serves as well. Only a regular
// file is copied, so that a FIFO never holds the run and a device never
// fills the disk. A path that something else keeps making is never copied
// onto: by then it may be a link to the very target, which cp would
// truncate, or a symbolic link that cp would write through.
static bool link_or_copy(const link_entry &e, const place &p, int path_error, const place &t, int target_error)
{
	if (verbose)
		say("link %q -> %q\n", e.path, e.target);
	int error = path_error != 0 ? path_error : target_error != 0 ? target_error : make_link(&t, nullptr, p);
	if (error == 0) {
		trace("processed hardlink");
		return true;
	}
	if (error == EEXIST && path_error == 0 && target_error == 0) {
		complain("cannot create hard link from %q to %q: %s\n", e.path, e.target, strerror(error));
		return false;
	}
	struct stat st;
	if (target_error == 0 && fstatat(t.dir, t.name, &st, 0) == 0 && !S_ISREG(st.st_mode)) {
		complain("cannot copy %q to %q: not a regular file\n", e.target, e.path);
		return false;
	}
	// Where nobody else can change the way to either name, cp is run on
	// them as they stand.
	bool copied = guarded(e.path) && guarded(e.target) ? copy_with_cp(e.target, e.path)
							   : copy_beneath(e, p, path_error);
	if (!copied)
		return false;
	trace("processed copy");
	return true;
}

static bool hardlink_row(const link_entry &e)
{
	place p, t;
	int path_error, target_error;
	if (!find(e.path, p, path_error) || !find(e.target, t, target_error))
		return false;
	if (path_error == 0)
		unlinkat(p.dir, p.name, 0);
	return link_or_copy(e, p, path_error, t, target_error);
}

// Set the mode of name in dir as fchmodat2 does, where AT_SYMLINK_NOFOLLOW
// refuses a symbolic link with EOPNOTSUPP and AT_EMPTY_PATH takes dir
// itself. Where the kernel lacks the call, the same is done through /proc.
static int change_mode(int dir, const char *name, mode_t mode, int flags)
{
	static const long fchmodat2 = 452;	// the same on every architecture
	if (syscall(fchmodat2, dir, name, mode, flags) == 0)
		return 0;
	if (errno != ENOSYS)
		return -1;
	if ((flags & AT_EMPTY_PATH) == 0)
		return fchmodat(dir, name, mode, flags);
	char self[32];
	snprintf(self, sizeof self, "/proc/self/fd/%d", dir);
	return chmod(self, mode);
}

// Set the mode of what is at the row's path. A symbolic link there is
// followed only where nobody but root and the running user could have put
// it, and then only as locate follows links.
static bool change(const link_entry &e)
{
	place p;
	int error;
	if (!find(e.path, p, error))
		return false;
	if (verbose)
		say("chmod %o %q\n", e.mode, e.path);
	const char *why = nullptr;
	if (error != 0) {
		why = strerror(error);
	} else if (change_mode(p.dir, p.name, e.mode, AT_SYMLINK_NOFOLLOW) == -1) {
		if (errno != EOPNOTSUPP) {
			why = strerror(errno);
		} else if (open_to_others(p)) {
			why = "a symbolic link in a directory others can write";
		} else {
			int at = follow(e.path);
			if (at == -1 || change_mode(at, "", e.mode, AT_EMPTY_PATH) == -1)
				why = errno == EXDEV ? unsafe_link : strerror(errno);
			if (at != -1)
				close(at);
		}
	}
	if (why == nullptr)
		return true;
	complain("could not chmod %o %q: %s\n", e.mode, e.path, why);
	return false;
}

// Give the row's path its owner and group, resolved here by name. The
// path itself is changed, never what a symbolic link there leads to. A
// change of owner clears the set-ID bits, so the list gives the owner
// before the mode.
static bool own(const link_entry &e)
{
	place p;
	int error;
	if (!find(e.path, p, error))
		return false;
	if (verbose)
		say("chown %s %q\n", e.target, e.path);
	uid_t uid = 0;
	gid_t gid = 0;
	const char *why = error != 0 ? strerror(error) : resolve_owner(e.target, uid, gid);
	if (why == nullptr && fchownat(p.dir, p.name, uid, gid, AT_SYMLINK_NOFOLLOW) == -1)
		why = strerror(errno);
	if (why == nullptr)
		return true;
	complain("could not chown %s %q: %s\n", e.target, e.path, why);
	return false;
}

// Give the file at the row's path its capabilities: the attribute's bytes,
// which the build wrote after the text. Only a regular file at the path
// itself takes them; a symbolic link there is not followed. They come after
// the owner, whose change would clear them.
static bool set_caps(const link_entry &e)
{
	place p;
	int error;
	if (!find(e.path, p, error))
		return false;
	if (verbose)
		say("setcap %s %q\n", e.target, e.path);
	struct stat st;
	int fd = error != 0 ? not_found : open_regular(p, O_NOFOLLOW, st);
	const char *why = nullptr;
	if (fd == not_regular)
		why = "not a regular file";
	else if (fd < 0)
		why = strerror(error != 0 ? error : errno);
	else if (fsetxattr(fd, "security.capability", caps_bytes(e), caps_size, 0) == -1)
		why = strerror(errno);
	if (fd >= 0)
		close(fd);
	if (why == nullptr)
		return true;
	complain("could not setcap %s %q: %s\n", e.target, e.path, why);
	return false;
}

static bool symlink_row(const link_entry &e)
{
	place p;
	int error;
	if (!find(e.path, p, error))
		return false;
	if (error == 0)
		unlinkat(p.dir, p.name, 0);
	if (verbose)
		say("symlink %q -> %q\n", e.path, e.target);
	if (error == 0 && make_link(nullptr, e.target, p) == 0) {
		trace("processed symlink");
		return true;
	}
	complain("cannot create symbolic link from %q to %q\n", e.path, e.target);
	return false;
}

// A conditional link is made only when its target exists, and only a
// target that is not there makes it absent: one that cannot be looked at
// still counts as present. The probe looks rather than opens, so a device
// or a FIFO at the target is never opened, and a lack of descriptors can
// never pass for a present target.
static bool condlink(const link_entry &e)
{
	place p, t;
	int path_error, target_error;
	if (!find(e.path, p, path_error) || !find(e.target, t, target_error))
		return false;
	if (verbose)
		say("condlink %q -> %q\n", e.path, e.target);
	struct stat st;
	int probe = target_error != 0 ? target_error : fstatat(t.dir, t.name, &st, 0) == 0 ? 0 : errno;
	if (probe == ENOENT) {
		trace("skip condlink");
		return true;
	}
	trace("process condlink");
	if (path_error == 0)
		unlinkat(p.dir, p.name, 0);
	return link_or_copy(e, p, path_error, t, target_error);
}

static bool run(const link_entry &e)
{
	switch (e.type) {
	case ENTRY_CHMOD:
		return change(e);
	case ENTRY_OWNER:
		return own(e);
	case ENTRY_CAPS:
		return set_caps(e);
	case ENTRY_SYMLINK:
		return symlink_row(e);
	case ENTRY_CONDLINK:
		return condlink(e);
	case ENTRY_HARDLINK:
		break;
	}
	// Codes without a name are carried out as hard links.
	return hardlink_row(e);
}

int main(int argc, char *argv[])
{
	if (argc < 2) {
		complain("missing arguments\n");
		return 1;
	}
	// Every path in the table is relative to the installation directory.
	if (chdir(argv[1]) == -1) {
		complain("unable to chdir to %q: %s\n", argv[1], strerror(errno));
		return 1;
	}
	if (argc > 2 && argv[2][0] == '-' && argv[2][1] == 'v') {
		verbose = true;
		puts("Verbose mode.");
	}

	// The first failing row ends the run; what came before it stays done.
	for (std::size_t i = 0; i < link_table_size; i++)
		if (!run(link_table[i]))
			return 1;
	return 0;
}
