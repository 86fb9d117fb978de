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
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link_entry.h"

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
		dprintf(STDERR_FILENO, "child exited with code %d\n", WEXITSTATUS(status));
	} else if (WIFSIGNALED(status)) {
		dprintf(STDERR_FILENO, "child got signal %d\n", WTERMSIG(status));
	} else {
		dprintf(STDERR_FILENO, "unexpected wait status: %d\n", status);
	}
	return false;
}

// How often a link is tried at a path that something else keeps making
// anew, such as another installer at work on the same tree.
static const int tries = 8;

// Make a link with make(target, path), removing whatever is made at path
// between our removal and our link, up to tries times. Returns 0, or the
// errno of the last failure: EEXIST where every try met something at the
// path, which is left there, or the error of a link that failed otherwise
// or of a removal that failed, such as that of a directory.
static int make_link(int (*make)(const char *, const char *), const char *target, const char *path)
{
	for (int i = 1;; i++) {
		if (make(target, path) == 0)
			return 0;
		if (errno != EEXIST || i == tries)
			return errno;
		if (unlink(path) == -1 && errno != ENOENT)
			return errno;
	}
}

// Hard links are cheap and keep one copy on disk; where the file system
// refuses one, for whatever reason, a copy serves as well. A path that
// something else keeps making is never copied onto: by then it may be a
// link to the very target, which cp would truncate, or a symbolic link that
// cp would write through.
static bool link_or_copy(const char *target, const char *path)
{
	if (verbose)
		printf("link \"%s\" -> \"%s\"\n", path, target);
	int error = make_link(link, target, path);
	if (error == 0) {
		trace("processed hardlink");
		return true;
	}
	if (error == EEXIST) {
		dprintf(STDERR_FILENO, "cannot create hard link from \"%s\" to \"%s\": %s\n", path, target,
			strerror(error));
		return false;
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
	if (make_link(symlink, e.target, e.path) == 0) {
		trace("processed symlink");
		return true;
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
