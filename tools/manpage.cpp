// manpage-COMPONENT mklinks|rmlinks|cklinks COMPONENT VERSION DATE OUT: write to OUT
// the manual page of one program of a component, listing every row of its
// table, so that a user can read which paths it replaces before running it,
// or what it requires of them.
#include <cstdio>
#include <cstring>

#include "link_table.h"

static FILE *out;

// Write a path or link text in italics, as roff takes it literally, with a
// place to break the line after every '/' so that long paths still fit the
// page; punctuation may follow it in roman.
static void name(const char *s, const char *punct = "")
{
	fputs(*punct != '\0' ? ".IR \"" : ".I \"", out);
	for (; *s != '\0'; s++) {
		if (*s == '\\')
			fputs("\\e", out);
		else if (*s == '-')
			fputs("\\-", out);
		else if (*s == '"')
			fputs("\\(dq", out);
		else
			fputc(*s, out);
		if (*s == '/' && s[1] != '\0')
			fputs("\\:", out);
	}
	fprintf(out, "\"%s%s\n", *punct != '\0' ? " " : "", punct);
}

static void item(std::size_t i, const char *words)
{
	fprintf(out, ".TP 5\n%zu.\n%s\n", i, words);
}

// How a program's page words each kind of row: the words before the first
// name of the row, between its names, and after the last.
struct wording {
	const char *chmod[2];		// the path, then the mode
	const char *symlink[2];		// the path, then the target
	const char *condlink[3];	// the target, then the path
	const char *hardlink[2];	// the path, then the target
};

static const wording make_words = {
	{"Set the permission bits of", "to"},
	{"Replace", "by a symbolic link holding"},
	{"Where", "exists, replace", "by a hard link to it, or a copy of it; otherwise leave it alone."},
	{"Replace", "by a hard link to, or a copy of,"},
};

static const wording check_words = {
	{"The permission bits of", "are"},
	{"The path", "is a symbolic link holding"},
	{"Where", "exists, the path", "is a hard link to it, or a copy of it; otherwise nothing is required."},
	{"The path", "is a hard link to, or a copy of,"},
};

static void rows(const wording &w)
{
	for (std::size_t i = 0; i < link_table_size; i++) {
		const link_entry &e = link_table[i];
		switch (e.type) {
		case ENTRY_CHMOD:
			item(i, w.chmod[0]);
			name(e.path);
			fprintf(out, "%s %04o.\n", w.chmod[1], e.mode);
			continue;
		case ENTRY_SYMLINK:
			item(i, w.symlink[0]);
			name(e.path);
			fprintf(out, "%s\n", w.symlink[1]);
			name(e.target, ".");
			continue;
		case ENTRY_CONDLINK:
			item(i, w.condlink[0]);
			name(e.target);
			fprintf(out, "%s\n", w.condlink[1]);
			name(e.path);
			fprintf(out, "%s\n", w.condlink[2]);
			continue;
		case ENTRY_HARDLINK:
			break;
		}
		item(i, w.hardlink[0]);
		name(e.path);
		fprintf(out, "%s\n", w.hardlink[1]);
		name(e.target, ".");
	}
}

static void remover(const char *prog)
{
	std::size_t i = 0;
	for (; i < link_table_size && link_table[i].type <= ENTRY_CONDLINK; i++) {
		item(i, "Remove");
		name(link_table[i].path, ".");
	}
	if (i == link_table_size)
		return;
	item(i, "Stop with the message");
	fprintf(out, ".B \"unsupported type: %d\"\nand exit status 1, leaving\n",
		static_cast<int>(link_table[i].type));
	name(link_table[i].path);
	fprintf(out, "and the paths of the %zu rows after it in place:\n.B %s\n"
		     "removes only the paths of links.\n",
		link_table_size - i - 1, prog);
}

// What each program does with a component's rows, in the order of tools.
struct tool {
	const char *name, *verb, *rows, *note, *other;
	const wording *words;	// nullptr: the remover's own list
};
static const tool tools[] = {
	{"mklinks", "put in place", "carries out",
	 "Whatever is at the path of a link is deleted before the link is made.\n", "rmlinks", &make_words},
	{"rmlinks", "take away", "handles", "It never touches a target.\n", "mklinks", nullptr},
	{"cklinks", "check", "checks",
	 "It changes nothing, and names on standard output each row that is not in place.\n", "mklinks",
	 &check_words},
};

int main(int argc, char *argv[])
{
	const tool *t = nullptr;
	for (const tool &each : tools)
		if (argc == 6 && strcmp(argv[1], each.name) == 0)
			t = &each;
	if (t == nullptr) {
		fputs("usage: manpage-COMPONENT mklinks|rmlinks|cklinks COMPONENT VERSION DATE OUT\n", stderr);
		return 2;
	}
	bool make = t == &tools[0];
	const char *tool = t->name, *component = argv[2];
	char prog[256], title[256];
	snprintf(prog, sizeof prog, "%s\\-%s", tool, component);
	snprintf(title, sizeof title, "%s", prog);
	for (char *c = title; *c != '\0'; c++)
		if (*c >= 'a' && *c <= 'z')
			*c = static_cast<char>(*c - 'a' + 'A');
	out = fopen(argv[5], "w");
	if (out == nullptr) {
		perror(argv[5]);
		return 1;
	}

	fprintf(out, ".TH %s 1 %s \"mklinks %s\" \"User Commands\"\n.SH NAME\n%s \\- %s the %s component's links\n",
		title, argv[4], argv[3], prog, t->verb, component);
	fprintf(out, ".SH SYNOPSIS\n.B %s\n.I directory\n%s.SH DESCRIPTION\n.B %s\n", prog,
		make ? ".RB [ \\-v ]\n" : "", prog);
	if (link_table_size == 0) {
		fprintf(out, "belongs to a component without links: it only checks its arguments and "
			     "that it can change into\n.IR directory ,\nthen exits with status 0%s.\n",
			make ? " (with\n.BR \\-v ,\nafter the line\n.BR \"Verbose mode.\" )" : "");
	} else {
		fprintf(out, "changes into\n.I directory\nand %s the %zu rows below, first to last, as\n"
			     ".BR %s (1)\ndescribes.\nEvery path is relative to\n.IR directory .\n%s.SH ROWS\n",
			t->rows, link_table_size, tool, t->note);
		if (t->words != nullptr)
			rows(*t->words);
		else
			remover(prog);
	}
	fprintf(out, ".SH SEE ALSO\n.BR %s (1),\n.BR %s\\-%s (1)\n", tool, t->other, component);
	return fclose(out) == 0 ? 0 : 1;
}
