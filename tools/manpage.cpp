// manpage-COMPONENT mklinks|rmlinks COMPONENT VERSION DATE OUT: write to OUT
// the manual page of one program of a component, listing every row of its
// table, so that a user can read which paths it replaces before running it.
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

static void creator()
{
	for (std::size_t i = 0; i < link_table_size; i++) {
		const link_entry &e = link_table[i];
		switch (e.type) {
		case ENTRY_CHMOD:
			item(i, "Set the permission bits of");
			name(e.path);
			fprintf(out, "to %04o.\n", e.mode);
			continue;
		case ENTRY_SYMLINK:
			item(i, "Replace");
			name(e.path);
			fputs("by a symbolic link holding\n", out);
			name(e.target, ".");
			continue;
		case ENTRY_CONDLINK:
			item(i, "Where");
			name(e.target);
			fputs("exists, replace\n", out);
			name(e.path);
			fputs("by a hard link to it, or a copy of it; otherwise leave it alone.\n", out);
			continue;
		case ENTRY_HARDLINK:
			break;
		}
		item(i, "Replace");
		name(e.path);
		fputs("by a hard link to, or a copy of,\n", out);
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

int main(int argc, char *argv[])
{
	if (argc != 6 || (strcmp(argv[1], "mklinks") != 0 && strcmp(argv[1], "rmlinks") != 0)) {
		fputs("usage: manpage-COMPONENT mklinks|rmlinks COMPONENT VERSION DATE OUT\n", stderr);
		return 2;
	}
	bool make = strcmp(argv[1], "mklinks") == 0;
	const char *tool = argv[1], *component = argv[2];
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
		title, argv[4], argv[3], prog, make ? "put in place" : "take away", component);
	fprintf(out, ".SH SYNOPSIS\n.B %s\n.I directory\n%s.SH DESCRIPTION\n.B %s\n", prog,
		make ? ".RB [ \\-v ]\n" : "", prog);
	if (link_table_size == 0) {
		fprintf(out, "belongs to a component without links: it only checks its arguments and "
			     "that it can change into\n.IR directory ,\nthen exits with status 0%s.\n",
			make ? " (with\n.BR \\-v ,\nafter the line\n.BR \"Verbose mode.\" )" : "");
	} else {
		fprintf(out, "changes into\n.I directory\nand %s the %zu rows below, first to last, as\n"
			     ".BR %s (1)\ndescribes.\nEvery path is relative to\n.IR directory .\n%s.SH ROWS\n",
			make ? "carries out" : "handles", link_table_size, tool,
			make ? "Whatever is at the path of a link is deleted before the link is made.\n"
			     : "It never touches a target.\n");
		if (make)
			creator();
		else
			remover(prog);
	}
	fprintf(out, ".SH SEE ALSO\n.BR %s (1),\n.BR %s\\-%s (1)\n", tool, make ? "rmlinks" : "mklinks",
		component);
	return fclose(out) == 0 ? 0 : 1;
}
