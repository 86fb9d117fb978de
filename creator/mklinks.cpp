// mklinks: carry out a component's link table inside its installation
// directory.
//
// usage: mklinks-COMPONENT directory [-v]
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link_table.h"

static bool verbose;

static void trace(const char *line)
{
	if (verbose)
		puts(line);
}

// Report a failed call as perror(3) does: the label, a colon, a blank and
// the text for errno. Going straight to descriptor 2 keeps standard error
// unbuffered and spares every run the binding of stdio's stderr.
static void report(const char *label)
{
	dprintf(STDERR_FILENO, "%s: %s\n", label, strerror(errno));
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

// Copy target to path with the system's cp, and report a copy that does not
// end well. The child never flushes the trace it inherited, so each trace
// line reaches standard output once even when it is a file or a pipe.
static bool copy_with_cp(const char *target, const char *path)
{
	// An ignored SIGCHLD survives exec and would make the kernel reap cp
	// before its status could be read.
	signal(SIGCHLD, SIG_DFL);

	pid_t parent = getpid();
	pid_t pid = fork();
	if (pid == -1) {
		report("fork");
		return false;
	}
	if (pid == 0) {
		// A copy that outlived a killed creator would race a rerun and
		// could rewrite the file after the rerun reported success, so it
		// dies with us, also if we are gone before it could ask.
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		if (getppid() != parent)
			_exit(1);
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
		return false;
	}
	if (WIFEXITED(status)) {
		if (WEXITSTATUS(status) == 0)
			return true;
		dprintf(STDERR_FILENO, "child exited with code %d\n", WEXITSTATUS(status));
	} else if (WIFSIGNALED(status)) {
		dprintf(STDERR_FILENO, "child got signal %d\n", WTERMSIG(status));
	} else {
		dprintf(STDERR_FILENO, "unexpected wait status: %d\n", status);
	}
	return false;
}

// How often a link is tried at a path that another run keeps making anew.
static const int tries = 8;

// Whether a link that failed may be tried again: another installer at work
// on the same tree may have made the path between our removal and our
// link, so it is taken away once more. Anything there that cannot be
// removed, such as a directory, is left to the caller.
static bool again(const char *path)
{
	return errno == EEXIST && (unlink(path) == 0 || errno == ENOENT);
}

// Hard links are cheap and keep one copy on disk; where the file system
// refuses one, for whatever reason, a copy serves as well. A path that
// another run made meanwhile is not copied onto, since by then it may be a
// link to the very target, which a cp would truncate.
static bool link_or_copy(const char *target, const char *path)
{
	if (verbose)
		printf("link \"%s\" -> \"%s\"\n", path, target);
	for (int i = 0; i < tries; i++) {
		if (link(target, path) == 0) {
			trace("processed hardlink");
			return true;
		}
		if (!again(path))
			break;
	}
	if (!copy_with_cp(target, path))
		return false;
	trace("processed copy");
	return true;
}

static bool change(const link_entry &e)
{
	if (verbose)
		printf("chmod %o \"%s\"\n", e.mode, e.path);
	if (chmod(e.path, e.mode) == -1) {
		dprintf(STDERR_FILENO, "could not chmod %o \"%s\": %s\n", e.mode, e.path,
			strerror(errno));
		return false;
	}
	return true;
}

static bool symlink_row(const link_entry &e)
{
	unlink(e.path);
	if (verbose)
		printf("symlink \"%s\" -> \"%s\"\n", e.path, e.target);
	for (int i = 0; i < tries; i++) {
		if (symlink(e.target, e.path) == 0) {
			trace("processed symlink");
			return true;
		}
		if (!again(e.path))
			break;
	}
	dprintf(STDERR_FILENO, "cannot create symbolic link from \"%s\" to \"%s\"\n", e.path, e.target);
	return false;
}

// A conditional link is made only when its target exists, and only a
// target that is not there makes it absent: one that cannot be looked at
// still counts as present. The probe looks rather than opens, so a device
// or a FIFO at the target is never opened, and a lack of descriptors can
// never pass for a present target.
static bool condlink(const link_entry &e)
{
	if (verbose)
		printf("condlink \"%s\" -> \"%s\"\n", e.path, e.target);
	struct stat st;
	if (stat(e.target, &st) == -1 && errno == ENOENT) {
		trace("skip condlink");
		return true;
	}
	trace("process condlink");
	unlink(e.path);
	return link_or_copy(e.target, e.path);
}

static bool run(const link_entry &e)
{
	switch (e.type) {
	case ENTRY_CHMOD:
		return change(e);
	case ENTRY_SYMLINK:
		return symlink_row(e);
	case ENTRY_CONDLINK:
		return condlink(e);
	case ENTRY_HARDLINK:
		break;
	}
	// Codes without a name are carried out as hard links.
	unlink(e.path);
	return link_or_copy(e.target, e.path);
}

int main(int argc, char *argv[])
{
	if (argc < 2) {
		dprintf(STDERR_FILENO, "missing arguments\n");
		return 1;
	}
	// Every path in the table is relative to the installation directory.
	if (chdir(argv[1]) == -1) {
		dprintf(STDERR_FILENO, "unable to chdir to \"%s\": %s\n", argv[1], strerror(errno));
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
