#include "pages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "kinds.h"
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
		for (std::size_t i = 0; i < n; i++) {
			char esc[4];
			octal_escape(s[i], esc);
			fprintf(out, "\\e%.3s", esc + 1);
		}
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

// Write what a row does or requires, as the kind's words say: the words
// before the first name go on the item's line, each name on a line of its
// own, with the punctuation that follows it, and the mode where it stands.
static void row(std::size_t i, const char *words, const link_entry &e)
{
	std::string line;
	bool first = true;
	auto flush = [&]() {
		std::size_t from = line.find_first_not_of(' '), to = line.find_last_not_of(' ');
		std::string text = from == std::string::npos ? "" : line.substr(from, to - from + 1);
		if (first)
			item(i, text.c_str());
		else if (!text.empty())
			fprintf(out, "%s\n", text.c_str());
		first = false;
		line.clear();
	};
	for (const char *w = words; *w != '\0'; w++) {
		if (w[0] != '%' || (w[1] != 'p' && w[1] != 't' && w[1] != 'm')) {
			line += *w;
			continue;
		}
		char which = *++w;
		if (which == 'm') {
			char mode[16];
			snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(e.mode));
			line += mode;
			continue;
		}
		flush();
		std::string punct;
		while (w[1] != '\0' && strchr(".,;:", w[1]) != nullptr)
			punct += *++w;
		name(which == 'p' ? e.path : e.target, punct.c_str());
	}
	flush();
}

// The remover's table holds only links, but an unnamed type code there
// stops it.
static void remover(const char *prog, const link_entry *table, std::size_t n)
{
	std::size_t i = 0;
	for (; i < n && kind_of(table[i].type) != nullptr; i++) {
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
	const char *row_kind::*words;	// nullptr: the remover's own list
};
static const tool tools[] = {
	{"mklinks", "put in place", "carries out",
	 "Whatever is at the path of a link is deleted before the link is made.\n", "rmlinks", &row_kind::make},
	{"rmlinks", "take away", "handles",
	 "It never touches a target.\nA permission change leaves nothing to remove, so the component's are not among them.\n",
	 "mklinks", nullptr},
	{"cklinks", "check", "checks",
	 "It changes nothing, and names on standard output each row that is not in place.\n", "mklinks",
	 &row_kind::check},
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
		if (t->words != nullptr) {
			for (std::size_t i = 0; i < n; i++)
				row(i, kind_or_hardlink(table[i].type).*(t->words), table[i]);
		} else {
			remover(prog, table, n);
		}
	}
	fprintf(out, ".SH SEE ALSO\n.BR %s (1),\n.BR %s\\-%s (1)\n", tool, t->other, component);
	return fclose(out) == 0;
}
