// linklist check LIST...: check component lists as the build does, naming
// every row that breaks a rule at its line, as FILE:LINE: error: RULE.
// linklist generate LIST COMPONENT VERSION DATE DIR [PROGRAM...]: check the
// list, then write into DIR the table sources the programs are compiled
// with, COMPONENT.table.cpp and, with the links alone,
// COMPONENT.remover.cpp, and the manual page of each program the build
// names, such as mklinks-COMPONENT.1.
//
// Built with a table written in C++ (MKLINKS_LINKED_TABLE), it takes that
// table's rows instead of a list's, and names rows, counted from 0, since
// it cannot know their lines; LIST then only names the source.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "kinds.h"
#include "list.h"
#include "options.h"
#include "pages.h"
#include "rules.h"

// Say what is wrong, in the form editors and CI take to the place.
static void error(const std::string &where, const std::string &what)
{
	fprintf(stderr, "%s: error: %s\n", where.c_str(), what.c_str());
}


// Read the rows of file, or say why they are not sound.
static bool load(const std::string &file, list &l)
{
#ifdef MKLINKS_LINKED_TABLE
	l.rows.assign(link_table, link_table + link_table_size);
	auto where = [&](std::size_t row) { return "row " + std::to_string(row); };
	bool good = true;
#else
	std::string text;
	if (const char *why = read_file(file, text)) {
		error(file, std::string("cannot read the list: ") + why);
		return false;
	}
	bool good = read_list(text, l, [&](std::size_t line, const std::string &what) {
		error(file + ":" + std::to_string(line), what);
	});
	auto where = [&](std::size_t row) { return "line " + std::to_string(l.lines[row]); };
#endif
	for (const finding &f : check(l.rows.data(), l.rows.size())) {
		std::string rule = f.rule + (f.other == no_row ? "" : " (" + where(f.other) + ")");
#ifdef MKLINKS_LINKED_TABLE
		error(file, where(f.row) + ": " + rule);
#else
		error(file + ":" + std::to_string(l.lines[f.row]), rule);
#endif
		good = false;
	}
	return good;
}

static bool write_source(const std::string &file, const std::vector<link_entry> &rows, const std::string &from)
{
	std::string text = write_table(rows, from);
	FILE *out = fopen(file.c_str(), "w");
	bool written = out != nullptr && fwrite(text.data(), 1, text.size(), out) == text.size();
	if (out != nullptr && fclose(out) != 0)
		written = false;
	if (!written)
		error(file, std::string("cannot write: ") + strerror(errno));
	return written;
}

static bool generate(char *argv[], int programs)
{
	std::string file = argv[0], component = argv[1], dir = argv[4];
	for (int i = 5; i < 5 + programs; i++) {
		if (!has_page(argv[i])) {
			error(argv[i], "no manual page is known for this program");
			return false;
		}
	}
	list l;
	if (!load(file, l))
		return false;
	std::string from = file.substr(file.rfind('/') + 1);
	std::vector<link_entry> links;
	for (const link_entry &e : l.rows)
		if (const row_kind *k = kind_of(e.type); k == nullptr || k->link)
			links.push_back(e);
	if (!write_source(dir + "/" + component + ".table.cpp", l.rows, from) ||
	    !write_source(dir + "/" + component + ".remover.cpp", links, from))
		return false;
	for (int i = 5; i < 5 + programs; i++) {
		const char *tool = argv[i];
		bool remover = strcmp(tool, "rmlinks") == 0;
		const std::vector<link_entry> &rows = remover ? links : l.rows;
		std::string page = dir;
		page.append("/").append(tool).append("-").append(component).append(".1");
		if (!write_page(tool, component.c_str(), argv[2], argv[3], rows.data(), rows.size(), page.c_str())) {
			error(page, std::string("cannot write the manual page: ") + strerror(errno));
			return false;
		}
	}
	return true;
}

static const char usage[] = "usage: %s check LIST...\n"
			    "       %s generate LIST COMPONENT VERSION DATE DIR [PROGRAM...]\n";

int main(int argc, char *argv[])
{
	if (argc == 2) {
		int status = answer_standard(argv[1], "linklist", "linklist", usage,
					     "Check component lists as the build does, or write a component's tables\n"
					     "and pages from its list; links(5) describes lists.\n\n"
					     "      --help     show this and exit\n"
					     "      --version  show the version and exit\n",
					     1);
		if (status != -1)
			return status;
	}
	if (argc >= 7 && strcmp(argv[1], "generate") == 0)
		return generate(argv + 2, argc - 7) ? 0 : 1;
	if (argc >= 3 && strcmp(argv[1], "check") == 0) {
		bool good = true;
		for (int i = 2; i < argc; i++) {
			list l;
			good = load(argv[i], l) && good;
		}
		return good ? 0 : 1;
	}
	fprintf(stderr, usage, "linklist", "linklist");
	return 2;
}
