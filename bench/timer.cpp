// bench-timer RUNS DIR LAY... -- NAME CMD... [-- NAME CMD...]...
//
// Time each command RUNS times, taking the commands in turn within each
// round so that they share the machine's moods. Before every run DIR is laid
// out afresh by LAY (untimed); a command runs with DIR as its current
// directory, and "{}" in LAY or a command stands for DIR. Prints one line per
// command: its name and median wall time in nanoseconds.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

static std::vector<char *> words(std::vector<std::string> &cmd, const std::string &dir)
{
	std::vector<char *> argv;
	for (auto &w : cmd) {
		if (w == "{}")
			w = dir;
		argv.push_back(w.data());
	}
	argv.push_back(nullptr);
	return argv;
}

static long long run(std::vector<std::string> cmd, const std::string &dir)
{
	std::vector<char *> argv = words(cmd, dir);
	timespec t0{}, t1{};
	clock_gettime(CLOCK_MONOTONIC, &t0);
	pid_t pid = fork();
	if (pid == 0) {
		int null = open("/dev/null", O_WRONLY);
		if (chdir(dir.c_str()) == -1 || null == -1)
			_exit(126);
		dup2(null, 1);
		execvp(argv[0], argv.data());
		_exit(127);
	}
	int status = 0;
	waitpid(pid, &status, 0);
	clock_gettime(CLOCK_MONOTONIC, &t1);
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
		fprintf(stderr, "bench-timer: %s failed (status %d)\n", argv[0], status);
		exit(1);
	}
	return (t1.tv_sec - t0.tv_sec) * 1000000000LL + (t1.tv_nsec - t0.tv_nsec);
}

int main(int argc, char *argv[])
{
	if (argc < 6) {
		fputs("usage: bench-timer RUNS DIR LAY... -- NAME CMD... [-- NAME CMD...]...\n", stderr);
		return 2;
	}
	long runs = strtol(argv[1], nullptr, 10);
	if (runs < 1) {
		fputs("bench-timer: RUNS must be at least 1\n", stderr);
		return 2;
	}
	std::string dir = argv[2];
	std::vector<std::vector<std::string>> groups(1);
	for (int i = 3; i < argc; i++) {
		if (std::string(argv[i]) == "--")
			groups.emplace_back();
		else
			groups.back().emplace_back(argv[i]);
	}
	std::vector<std::string> lay = groups.front();
	groups.erase(groups.begin());

	std::vector<std::vector<long long>> times(groups.size());
	for (long r = 0; r < runs; r++) {
		for (std::size_t k = 0; k < groups.size(); k++) {
			std::size_t c = (k + static_cast<std::size_t>(r)) % groups.size();
			fs::remove_all(dir);
			fs::create_directories(dir);
			run(lay, dir);
			times[c].push_back(run({groups[c].begin() + 1, groups[c].end()}, dir));
		}
	}
	fs::remove_all(dir);
	for (std::size_t c = 0; c < groups.size(); c++) {
		auto &t = times[c];
		std::sort(t.begin(), t.end());
		printf("%s %lld\n", groups[c][0].c_str(), t[t.size() / 2]);
	}
	return 0;
}
