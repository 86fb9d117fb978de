#include "pages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "text.h"

static FILE *out;

// How groff is told to show a character as it stands, where it would read
// it otherwise: '-' and ' ' are never a place to break a line in a name.
static const struct {
	char c;
	const char *roff;
} literal[] = {{'\\', "\\e"}, {'-', "\\-"}, {'"', "\\(dq"}, {'\'', "\\(aq"}, {'`', "\\(ga"}, {' ', "\\ "}};

// Write one character of a path or link text in UTF-8 as groff reads it
// literally, with a place to break the line after every '/', so that long
// paths still fit the page. A control character, and a byte that starts
// no UTF-8 character, is shown as \ooo, as the programs show it. Returns
// the bytes it took.
static std::size_t glyph(const unsigned char *s)
{
	unsigned long u = 0;
	std::string_view rest(reinterpret_cast<const char *>(s));
	std::size_t n = utf8_char(rest, u);
	if (n == 0 || control_char(u)) {
		n = n == 0 ? 1 : n;
		for (std::size_t i = 0; i < n; i++)
			fprintf(out, "\\e%03o", s[i]);
		return n;
	}
	if (n > 1) {
		fprintf(out, "\\[u%04lX]", u);
		return n;
	}
	unsigned char c = s[0];
	const auto *l = std::find_if(std::begin(literal), std::end(literal), [c](const auto &l) { return static_cast<unsigned char>(l.c) == c; });
	if (l != std::end(literal))
		fputs(l->roff, out);
	else
		fputc(c, out);
	if (c == '/' && s[1] != '\0')
		fputs("\\:", out);
	return 1;
}

// Write a path or link text in italics; punctuation may follow it in roman.
static void name(const char *s, const char *punct = "")
{
	fputs(*punct != '\0' ? ".IR \"" : ".I \"", out);
	for (const auto *c = reinterpret_cast<const unsigned char *>(s); *c != '\0';)
		c += glyph(c);
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

static void rows(const wording &w, const link_entry *table, std::size_t n)
{
	for (std::size_t i = 0; i < n; i++) {
		const link_entry &e = table[i];
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

// The remover's table holds only links, but an unnamed type code there
// stops it.
static void remover(const char *prog, const link_entry *table, std::size_t n)
{
	std::size_t i = 0;
	for (; i < n && table[i].type <= ENTRY_CONDLINK; i++) {
		item(i, "Remove");
		name(table[i].path, ".");
	}
	if (i == n)
		return;
	item(i, "Stop with the message");
	fprintf(out, ".B \"unsupported type: %d\"\nand exit status 1, leaving\n", static_cast<int>(table[i].type));
	name(table[i].path);
	fprintf(out, "and the paths of the %zu rows after it in place:\n.B %s\n"
		     "removes only the paths of links.\n",
		n - i - 1, prog);
}

// What each program does with a component's rows, in the order of tools.
struct tool {
	const char *name, *verb, *rows, *note, *other;
	const wording *words;	// nullptr: the remover's own list
};
static const tool tools[] = {
	{"mklinks", "put in place", "carries out",
	 "Whatever is at the path of a link is deleted before the link is made.\n", "rmlinks", &make_words},
	{"rmlinks", "take away", "handles",
	 "It never touches a target.\nA permission change leaves nothing to remove, so the component's are not among them.\n",
	 "mklinks", nullptr},
	{"cklinks", "check", "checks",
	 "It changes nothing, and names on standard output each row that is not in place.\n", "mklinks",
	 &check_words},
};

bool has_page(const char *tool)
{
	return std::any_of(std::begin(tools), std::end(tools), [&](const struct tool &t) { return strcmp(t.name, tool) == 0; });
}

bool write_page(const char *tool, const char *component, const char *version, const char *date,
		const link_entry *table, std::size_t n, const char *file)
{
	const struct tool *t = nullptr;
	for (const struct tool &each : tools)
		if (strcmp(tool, each.name) == 0)
			t = &each;
	if (t == nullptr)
		return false;
	bool make = t == &tools[0];
	char prog[256], title[256];
	snprintf(prog, sizeof prog, "%s\\-%s", tool, component);
	snprintf(title, sizeof title, "%s", prog);
	for (char *c = title; *c != '\0'; c++)
		if (*c >= 'a' && *c <= 'z')
			*c = static_cast<char>(*c - 'a' + 'A');
	out = fopen(file, "w");
	if (out == nullptr)
		return false;

	fprintf(out, ".TH %s 1 %s \"mklinks %s\" \"User Commands\"\n.SH NAME\n%s \\- %s the %s component's links\n",
		title, date, version, prog, t->verb, component);
	fprintf(out, ".SH SYNOPSIS\n.B %s\n.I directory\n%s.SH DESCRIPTION\n.B %s\n", prog,
		make ? ".RB [ \\-v ]\n" : "", prog);
	if (n == 0) {
		fprintf(out, "%s: it only checks its arguments and that it can change into\n.IR directory ,\n"
			     "then exits with status 0%s.\n",
			t->words == nullptr ? "has no links to remove" : "belongs to a component without links",
			make ? " (with\n.BR \\-v ,\nafter the line\n.BR \"Verbose mode.\" )" : "");
	} else {
		fprintf(out, "changes into\n.I directory\nand %s the %zu rows below, first to last, as\n"
			     ".BR %s (1)\ndescribes.\nEvery path is relative to\n.IR directory .\n%s.SH ROWS\n"
			     // A long path breaks only after a '/', so its lines
			     // are left ragged rather than stretched.
			     ".ad l\n",
			t->rows, n, tool, t->note);
		if (t->words != nullptr)
			rows(*t->words, table, n);
		else
			remover(prog, table, n);
	}
	fprintf(out, ".SH SEE ALSO\n.BR %s (1),\n.BR %s\\-%s (1)\n", tool, t->other, component);
	return fclose(out) == 0;
}
