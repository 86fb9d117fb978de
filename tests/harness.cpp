#include "harness.h"

#include <cstdarg>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "text.h"

std::string program(const std::string &name)
{
	return std::string(PROGRAM_DIR) + "/" + name;
}

std::string linklist()
{
	return LINKLIST;
}

bool emulated()
{
	return EMULATOR[0] != '\0';
}

bool sanitized()
{
	return SANITIZED != 0;
}

outcome run(const fs::path &cwd, const std::string &prog, const launch &l)
{
	fs::path out = cwd / ".out", err = cwd / ".err";
	std::vector<std::string> words = l.wrap;
	std::istringstream emulator(EMULATOR);
	for (std::string w; !l.native && emulator >> w;)
		words.push_back(w);
	words.push_back(prog);
	words.insert(words.end(), l.args.begin(), l.args.end());
	std::vector<char *> argv;
	argv.reserve(words.size() + 1);
	for (auto &w : words)
		argv.push_back(w.data());
	argv.push_back(nullptr);

	fflush(nullptr);
	if (l.subreaper)
		prctl(PR_SET_CHILD_SUBREAPER, 1);
	pid_t pid = fork();
	if (pid == 0) {
		if (chdir(cwd.c_str()) == -1)
			_exit(126);
		dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
		dup2(l.merged ? 1 : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
		// The program gets descriptors 0 to 2 and no others, whatever
		// the test runner left open.
		close_range(3, ~0U, 0);
		if (l.decoy >= 0) {
			// Leave a child that has already ended and not been
			// reaped; the program under test inherits it.
			pid_t d = fork();
			if (d == 0)
				_exit(l.decoy);
			siginfo_t si;
			waitid(P_PID, d, &si, WEXITED | WNOWAIT);
		}
		if (l.ignore_sigchld)
			signal(SIGCHLD, SIG_IGN);
		if (!l.path.empty())
			setenv("PATH", l.path.c_str(), 1);
		alarm(20);	// a hung program dies instead of the suite
		// No shell fallback: a program this machine cannot run must say
		// so rather than be read as a script.
		execv(argv[0], argv.data());
		dprintf(2, "cannot execute %s: %s\n", argv[0], strerror(errno));
		_exit(127);
	}
	int status = 0;
	waitpid(pid, &status, 0);
	if (l.subreaper) {	// and take the orphans' ends
		while (wait(nullptr) > 0) {
		}
		prctl(PR_SET_CHILD_SUBREAPER, 0);
	}
	int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	outcome o{code, slurp(out), slurp(err)};
	fs::remove(out);
	fs::remove(err);
	return o;
}

// A line of the programs', with each %q a name quoted and escaped as they
// write it.
static std::string format(const char *fmt, ...)
{
	std::string s;
	va_list ap;
	va_start(ap, fmt);
	vformat([&](const char *p, std::size_t n) { s.append(p, n); }, fmt, ap);
	va_end(ap);
	return s;
}

std::string expect(const link_entry &e, way w)
{
	std::string t;
	switch (e.type) {
	case ENTRY_CHMOD:
		return format("chmod %o %q\n", e.mode, e.path);
	case ENTRY_OWNER:
		return format("chown %s %q\n", e.target, e.path);
	case ENTRY_CAPS:
		return format("setcap %s %q\n", e.target, e.path);
	case ENTRY_SYMLINK:
		t = format("symlink %q -> %q\n", e.path, e.target);
		return w == way::symlink ? t + "processed symlink\n" : t;
	case ENTRY_CONDLINK:
		t = format("condlink %q -> %q\n", e.path, e.target);
		if (w == way::skip)
			return t + "skip condlink\n";
		t += "process condlink\n";
		break;
	case ENTRY_HARDLINK:
		break;
	}
	t += format("link %q -> %q\n", e.path, e.target);
	if (w == way::hardlink)
		t += "processed hardlink\n";
	if (w == way::copy)
		t += "processed copy\n";
	return t;
}

std::string complaint(const link_entry &e, fault f, const std::string &found)
{
	char buf[8192];
	switch (f) {
	case fault::missing:
		snprintf(buf, sizeof buf, "\"%s\": missing\n", e.path);
		break;
	case fault::other_file:
		snprintf(buf, sizeof buf, "\"%s\": not a hard link to \"%s\" nor a copy of it\n", e.path, e.target);
		break;
	case fault::not_symlink:
		snprintf(buf, sizeof buf, "\"%s\": not a symbolic link\n", e.path);
		break;
	case fault::other_text:
		snprintf(buf, sizeof buf, "\"%s\": a symbolic link to \"%s\", not to \"%s\"\n", e.path,
			 found.c_str(), e.target);
		break;
	case fault::mode:
		snprintf(buf, sizeof buf, "\"%s\": mode %s, not %o\n", e.path, found.c_str(), e.mode);
		break;
	case fault::target_missing:
		snprintf(buf, sizeof buf, "\"%s\": target \"%s\" is missing\n", e.path, e.target);
		break;
	case fault::error:
		snprintf(buf, sizeof buf, "\"%s\": %s\n", e.path, found.c_str());
		break;
	}
	return buf;
}

std::string case_name(const std::string &words)
{
	std::string name;
	for (char c : words) {
		bool alnum = std::isalnum(static_cast<unsigned char>(c)) != 0;
		if (alnum)
			name += c;
		else if (!name.empty() && name.back() != '_')
			name += '_';
	}
	while (!name.empty() && name.back() == '_')
		name.pop_back();
	return name;
}

std::string render(const std::string &page)
{
	std::string command = "groff -man -Tutf8 -P-cbou -rLL=250n -dAD=l '" + page + "' 2>&1";
	FILE *p = popen(command.c_str(), "r");	// NOLINT(cert-env33-c): a fixed command on a page we built
	std::string text;
	char buf[4096];
	for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
		text.append(buf, n);
	pclose(p);
	return text;
}

static fs::path fresh(const fs::path &base)
{
	fs::create_directories(base);
	std::string tmpl = (base / "case-XXXXXX").string();
	return mkdtemp(tmpl.data());
}

scratch::scratch() : dir(fresh(SCRATCH_DIR)), far(fresh("/dev/shm/links-tests")) {}

scratch::~scratch()
{
	std::error_code ec;
	fs::remove_all(dir, ec);
	fs::remove_all(far, ec);
}

way made(const fs::path &dir, const link_entry &e)
{
	struct stat p, t;
	fs::path path = dir / e.path, target = dir / e.target;
	if (e.type != ENTRY_SYMLINK && fs::is_directory(fs::symlink_status(path)))
		path /= target.filename();	// cp copies into a directory
	if (lstat(path.c_str(), &p) == -1)
		return way::skip;
	if (e.type == ENTRY_SYMLINK)
		return S_ISLNK(p.st_mode) && fs::read_symlink(path) == e.target ? way::symlink
										 : way::none;
	if (lstat(target.c_str(), &t) == -1)
		return way::none;
	if (p.st_dev == t.st_dev && p.st_ino == t.st_ino)
		return way::hardlink;
	return S_ISREG(p.st_mode) && slurp(path) == slurp(target) ? way::copy : way::none;
}
