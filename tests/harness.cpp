#include "harness.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

std::string program(const std::string &name)
{
	return std::string(PROGRAM_DIR) + "/" + name;
}

std::string slurp(const fs::path &p)
{
	std::ifstream in(p, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), {}};
}

void spill(const fs::path &p, const std::string &text, fs::perms mode)
{
	std::ofstream(p, std::ios::binary) << text;
	fs::permissions(p, mode);
}

outcome run(const fs::path &cwd, const std::string &prog, const launch &l)
{
	fs::path out = cwd / ".out", err = cwd / ".err";
	std::vector<std::string> words = l.wrap;
	words.push_back(prog);
	words.insert(words.end(), l.args.begin(), l.args.end());
	std::vector<char *> argv;
	argv.reserve(words.size() + 1);
	for (auto &w : words)
		argv.push_back(w.data());
	argv.push_back(nullptr);

	fflush(nullptr);
	pid_t pid = fork();
	if (pid == 0) {
		if (chdir(cwd.c_str()) == -1)
			_exit(126);
		dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
		dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
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
		execvp(argv[0], argv.data());
		_exit(127);
	}
	int status = 0;
	waitpid(pid, &status, 0);
	int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	outcome o{code, slurp(out), slurp(err)};
	fs::remove(out);
	fs::remove(err);
	return o;
}

void lay(const fs::path &dir)
{
	for (std::size_t i = 0; i < link_table_size; i++) {
		const link_entry &e = link_table[i];
		fs::path path = dir / e.path;
		fs::create_directories(path.parent_path());
		fs::path target = e.type == ENTRY_SYMLINK ? path.parent_path() / e.target
				  : e.type == ENTRY_CHMOD ? path
							  : dir / e.target;
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

static std::string format(const char *fmt, const char *a, const char *b)
{
	char buf[4096];
	snprintf(buf, sizeof buf, fmt, a, b);
	return buf;
}

std::string expect(const link_entry &e, way w)
{
	std::string t;
	switch (e.type) {
	case ENTRY_CHMOD: {
		char buf[4096];
		snprintf(buf, sizeof buf, "chmod %o \"%s\"\n", e.mode, e.path);
		return buf;
	}
	case ENTRY_SYMLINK:
		t = format("symlink \"%s\" -> \"%s\"\n", e.path, e.target);
		return w == way::symlink ? t + "processed symlink\n" : t;
	case ENTRY_CONDLINK:
		t = format("condlink \"%s\" -> \"%s\"\n", e.path, e.target);
		if (w == way::skip)
			return t + "skip condlink\n";
		t += "process condlink\n";
		break;
	case ENTRY_HARDLINK:
		break;
	}
	t += format("link \"%s\" -> \"%s\"\n", e.path, e.target);
	if (w == way::hardlink)
		t += "processed hardlink\n";
	if (w == way::copy)
		t += "processed copy\n";
	return t;
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
