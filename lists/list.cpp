#include "list.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "caps.h"
#include "kinds.h"
#include "quoted.h"
#include "text.h"

static bool blank(char c)
{
	return c == ' ' || c == '\t';
}

static std::string control_words(unsigned char c)
{
	char words[96];
	snprintf(words, sizeof words, "the list holds a control character (0x%02x), which no field may hold", c);
	return words;
}

// Split a line into its fields, or say why it cannot be split. A field that
// holds a blank, a quote or a backslash is written in double quotes, where
// \" stands for a quote and \\ for a backslash.
static std::string split(std::string_view line, std::vector<std::string> &fields)
{
	for (std::size_t i = 0;;) {
		while (i < line.size() && blank(line[i]))
			i++;
		if (i == line.size())
			return "";
		std::string f;
		if (line[i] != '"') {
			for (; i < line.size() && !blank(line[i]); i++) {
				if (line[i] == '"' || line[i] == '\\')
					return "a field that holds \" or \\ must be written in double quotes";
				f += line[i];
			}
			fields.push_back(f);
			continue;
		}
		for (i++;; i++) {
			if (i == line.size())
				return "a quoted field does not end on its line";
			char c = line[i];
			if (c == '"')
				break;
			if (c == '\t')
				return control_words(c);
			if (c == '\\') {
				if (i + 1 == line.size() || (line[i + 1] != '"' && line[i + 1] != '\\'))
					return "in double quotes, a backslash may stand only before \" or \\";
				c = line[++i];
			}
			f += c;
		}
		if (++i < line.size() && !blank(line[i]))
			return "a quoted field must be followed by a blank or the end of the line";
		fields.push_back(f);
	}
}

// Read a mode as chmod(1) reads an octal one.
static const char *octal(const std::string &m, mode_t &mode)
{
	mode = 0;
	if (m.empty())
		return "mode must be an octal number, such as 755";
	for (char c : m) {
		if (c == '8' || c == '9')
			return "mode is octal: 8 and 9 are not octal digits";
		if (c < '0' || c > '7')
			return "mode must be an octal number, such as 755";
		if (mode <= 07777)
			mode = mode * 8 + (c - '0');
	}
	return mode > 07777 ? "mode has bits beyond 07777" : nullptr;
}

// The row a line's fields make, or why they make none.
static std::string row(const std::vector<std::string> &f, list &l, link_entry &e)
{
	if (f.size() < 3)
		return "a row has three fields: its type, its target or mode, and its path";
	if (f.size() > 3 && f[3][0] == '#')
		return "a comment takes a whole line: a # after a row's fields is no comment";
	if (f.size() > 3)
		return "a row has three fields; write a field that holds a blank in double quotes";
	const row_kind *k = kind_named(f[0]);
	if (k == nullptr) {
		// The word is the list's, so it reaches the terminal escaped.
		std::string why = "unknown row type " + quoted(f[0]) + ": a row is ";
		std::size_t n = std::size(row_kinds);
		for (std::size_t i = 0; i < n; i++)
			why.append(row_kinds[i].word).append(i + 2 < n ? ", " : i + 2 == n ? " or " : "");
		return why;
	}
	e.type = k->type;
	if (k->mode) {
		if (const char *r = octal(f[1], e.mode))
			return r;
	} else if (k->type == ENTRY_CAPS) {
		// The attribute's bytes follow the text, as in a table; text
		// that gives none is left for the rules to name.
		std::string field = caps_field(f[1]);
		e.target = l.texts.emplace_back(field.empty() ? f[1] : field).c_str();
	} else {
		e.target = l.texts.emplace_back(f[1]).c_str();
	}
	e.path = l.texts.emplace_back(f[2]).c_str();
	return "";
}

bool read_list(const std::string &text, list &l, const reporter &report)
{
	bool good = true;
	std::size_t line = 0;
	for (std::size_t at = 0; at < text.size(); line++) {
		std::size_t end = std::min(text.find('\n', at), text.size());
		std::string_view s(text.data() + at, end - at);
		at = end + 1;
		auto fault = [&](const std::string &what) {
			report(line + 1, what);
			good = false;
		};
		// A file saved with DOS line ends has a carriage return on every
		// line; each is named, and what comes before it is read as the
		// line, so that one run shows every other fault too.
		if (!s.empty() && s.back() == '\r') {
			fault("the list has DOS line ends: a carriage return ends the line");
			s.remove_suffix(1);
		}
		auto bad = std::find_if(s.begin(), s.end(), [](char c) { return c != '\t' && control_byte(c); });
		if (bad != s.end()) {
			fault(control_words(*bad));
			continue;
		}
		std::size_t lead = 0;
		while (lead < s.size() && blank(s[lead]))
			lead++;
		if (lead == s.size() || s[lead] == '#')
			continue;
		std::vector<std::string> fields;
		link_entry e{};
		std::string why = split(s, fields);
		if (why.empty())
			why = row(fields, l, e);
		if (!why.empty()) {
			fault(why);
			continue;
		}
		l.rows.push_back(e);
		l.lines.push_back(line + 1);
	}
	return good;
}

// A field of a row, in double quotes where it holds a blank, a quote or a
// backslash, and only there.
static void field(std::string &out, std::string_view f)
{
	if (f.find_first_of(" \t\"\\") == std::string_view::npos) {
		out += f;
		return;
	}
	out += '"';
	for (char c : f) {
		if (c == '"' || c == '\\')
			out += '\\';
		out += c;
	}
	out += '"';
}

void write_rows(std::string &out, std::span<const link_entry> rows)
{
	for (const link_entry &e : rows) {
		const row_kind &k = kind_or_hardlink(e.type);
		out += k.word;
		out += ' ';
		if (k.mode) {
			// In octal, of four digits at least, as lists give modes.
			char mode[12];
			char *at = std::end(mode);
			auto m = static_cast<unsigned>(e.mode);
			do {
				*--at = static_cast<char>('0' + (m & 7));
				m >>= 3;
			} while (m != 0 || std::end(mode) - at < 4);
			out.append(at, std::end(mode));
		} else {
			field(out, e.target);
		}
		out += ' ';
		field(out, e.path);
		out += '\n';
	}
}

// Write s as a C++ string literal that says the same bytes, in plain ASCII.
static void literal(std::string &out, const char *s)
{
	out += '"';
	for (; *s != '\0'; s++) {
		unsigned char c = static_cast<unsigned char>(*s);
		// A '?' is escaped too, so that no trigraph can form.
		if (c == '"' || c == '\\' || c == '?') {
			out += '\\';
			out += static_cast<char>(c);
		} else if (c >= 0x20 && c < 0x7f) {
			out += static_cast<char>(c);
		} else {
			char esc[4];
			octal_escape(c, esc);
			out.append(esc, 4);
		}
	}
	out += '"';
}

std::string write_table(const std::vector<link_entry> &rows, const std::string &from)
{
	// The list's name goes into a comment, where a newline would end it
	// and a '?' or '\\' could join the next line to it.
	std::string name;
	for (unsigned char c : from) {
		if (c >= 0x20 && c < 0x7f && c != '?' && c != '\\') {
			name += static_cast<char>(c);
		} else {
			char esc[4];
			octal_escape(c, esc);
			name.append(esc, 4);
		}
	}
	std::string s = "// Written by the build from " + name + "; edit that instead.\n"
			"#include \"link_entry.h\"\n\n";
	if (rows.empty()) {
		s += "extern const link_entry *const link_table = nullptr;\n"
		     "extern const std::size_t link_table_size = 0;\n";
		return s;
	}
	s += "namespace {\n\nconst link_entry rows[] = {\n";
	for (const link_entry &e : rows) {
		s += "\t{";
		const row_kind *k = kind_of(e.type);
		if (k != nullptr)
			s += k->name;
		else
			s += "static_cast<entry_type>(" + std::to_string(e.type) + "U)";
		if (kind_or_hardlink(e.type).mode) {
			char mode[32];
			snprintf(mode, sizeof mode, ", {.mode = 0%o}, ", static_cast<unsigned>(e.mode));
			s += mode;
		} else {
			s += ", {";
			literal(s, e.target);
			if (e.type == ENTRY_CAPS) {
				// The text's end, then the attribute, each byte
				// escaped in full so that no digit joins it.
				s += " \"";
				const char *bytes = e.target + strlen(e.target);
				for (std::size_t i = 0; i <= caps_size; i++) {
					char esc[4];
					octal_escape(static_cast<unsigned char>(bytes[i]), esc);
					s.append(esc, 4);
				}
				s += '"';
			}
			s += "}, ";
		}
		literal(s, e.path);
		s += "},\n";
	}
	s += "};\n\n} // namespace\n\nextern const link_entry *const link_table = rows;\n"
	     "extern const std::size_t link_table_size = sizeof rows / sizeof rows[0];\n";
	return s;
}

const char *read_file(const std::string &file, std::string &text)
{
	struct stat st;
	if (stat(file.c_str(), &st) == -1)
		return strerror(errno);
	if (!S_ISREG(st.st_mode))
		return "not a regular file";
	int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
	if (fd == -1)
		return strerror(errno);
	struct stat now;
	const char *why = nullptr;
	if (fstat(fd, &now) == -1)
		why = strerror(errno);
	else if (!S_ISREG(now.st_mode) || now.st_dev != st.st_dev || now.st_ino != st.st_ino)
		why = "not a regular file";
	// The list is read as large as it was when opened, and no larger: one
	// that something keeps writing to would never end.
	char buf[65536];
	off_t left = why == nullptr ? now.st_size : 0;
	while (why == nullptr && left > 0) {
		ssize_t n = read(fd, buf, left < static_cast<off_t>(sizeof buf) ? static_cast<std::size_t>(left) : sizeof buf);
		if (n == -1)
			why = strerror(errno);
		else if (n == 0)
			why = "it changed while it was read";
		text.append(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
		left -= n > 0 ? n : 0;
	}
	if (why == nullptr) {
		ssize_t n = read(fd, buf, 1);
		if (n == -1)
			why = strerror(errno);
		else if (n > 0)
			why = "it grew while it was read";
	}
	close(fd);
	return why;
}
