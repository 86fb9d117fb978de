// The options that every program taking options answers alike.
#pragma once

#include <cstdio>
#include <cstring>

// Answer --help with usage, a format that takes the name the program was
// run by (up to twice), followed by what; answer --version with the tool's
// name and the version, both on standard output. Returns -1 for any other
// argument; otherwise 0, or failure where standard output did not take it
// all, as when it is a full disk.
inline int answer_standard(const char *arg, const char *tool, const char *name, const char *usage, const char *what,
			   int failure)
{
	if (strcmp(arg, "--help") == 0) {
		printf(usage, name, name);	// NOLINT(cert-err33-c): checked below, with the rest
		fputs(what, stdout);
	} else if (strcmp(arg, "--version") == 0) {
		printf("%s (mklinks) %s\n", tool, MKLINKS_VERSION);
	} else {
		return -1;
	}
	return fflush(stdout) == 0 && ferror(stdout) == 0 ? 0 : failure;
}
