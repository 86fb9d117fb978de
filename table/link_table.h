// The link table: one constant row per file-system action of a component.
//
// Each component source file defines link_table and link_table_size, and
// proves its rows sound with check_table(), so that a bad row stops the build
// instead of damaging an installation directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <sys/types.h>

enum entry_type : std::uint32_t {
	ENTRY_HARDLINK = 0,	// replace path by a hard link to target, or a copy
	ENTRY_SYMLINK = 1,	// replace path by a symbolic link holding target
	ENTRY_CONDLINK = 2,	// as ENTRY_HARDLINK, only when target exists
	ENTRY_CHMOD = 3,	// set the permission bits of path to mode
};

struct link_entry {
	entry_type type;
	union {
		const char *target;	// types 0, 1 and 2
		mode_t mode;		// ENTRY_CHMOD
	};
	const char *path;
};

static_assert(sizeof(entry_type) == 4);
static_assert(sizeof(link_entry) == 3 * sizeof(void *));

extern const link_entry *const link_table;
extern const std::size_t link_table_size;

// Compile-time checks of a component's rows. A component file proves its
// table sound with
//
//	static_assert(table_check::check_table<rows>());
//
// and a bad row stops the build with a message that names the row, counted
// from 0, and the rule it breaks, such as "row 2: path must be relative".
//
// The rule for rows that depend on each other: a symbolic link's text may
// name any row's path but its own; a hard or conditional link's target may
// be the path of an earlier hard or conditional link, but never its own
// path, a later row's path or a symbolic link's path; and no two links share
// a path.
//
// Paths are compared as the file system reads them inside the installation
// directory: "." and empty components go, and ".." climbs. A symbolic link's
// text is read from the link's own directory.
namespace table_check {

inline constexpr std::size_t path_max = 4096;	// PATH_MAX, with its NUL

// A place inside the installation directory, as a path with no ".", ".." or
// empty component; off where the path left the directory or grew too long.
struct place {
	char s[path_max];
	std::size_t n;
	bool off;
};

// Go from at along p as the file system would.
consteval void walk(place &at, const char *p)
{
	while (!at.off && *p != '\0') {
		std::size_t len = 0;
		while (p[len] != '\0' && p[len] != '/')
			len++;
		if (len == 2 && p[0] == '.' && p[1] == '.') {
			at.off = at.n == 0;
			while (at.n > 0 && at.s[--at.n] != '/') {
			}
		} else if (len > 1 || (len == 1 && p[0] != '.')) {
			at.off = at.n + len + 1 >= path_max;
			if (at.n > 0 && !at.off)
				at.s[at.n++] = '/';
			for (std::size_t i = 0; i < len && !at.off; i++)
				at.s[at.n++] = p[i];
		}
		p += len;
		if (*p == '/')
			p++;
	}
}

consteval void locate(place &at, const char *p)
{
	at.n = 0;
	at.off = false;
	walk(at, p);
}

// Where a row finds its target: a symbolic link's text is read from the
// directory that holds the link, and an absolute one names nothing of ours.
consteval void aim(place &at, const link_entry &e)
{
	locate(at, e.type == ENTRY_SYMLINK ? e.path : "");
	if (e.type == ENTRY_SYMLINK) {
		walk(at, "..");
		at.off = at.off || e.target[0] == '/';
	}
	walk(at, e.target);
}

consteval bool same(const place &a, const place &b)
{
	if (a.off || b.off || a.n != b.n)
		return false;
	for (std::size_t i = 0; i < a.n; i++)
		if (a.s[i] != b.s[i])
			return false;
	return true;
}

// What is wrong with a path or a target, in words; nullptr: nothing.
struct place_words {
	const char *empty, *absolute, *too_long, *leaves, *top;
};
inline constexpr place_words path_words = {"path is empty", "path must be relative",
	"path is longer than PATH_MAX", "path leaves the installation directory",
	"path names the installation directory itself"};
inline constexpr place_words target_words = {"target is empty", "target must be relative",
	"target is longer than PATH_MAX", "target leaves the installation directory",
	"target names the installation directory itself"};

consteval const char *place_rule(const char *p, const place_words &w)
{
	if (p == nullptr || p[0] == '\0')
		return w.empty;
	if (p[0] == '/')
		return w.absolute;
	std::size_t len = 0;
	while (p[len] != '\0')
		len++;
	if (len >= path_max)
		return w.too_long;
	place at;
	locate(at, p);
	return at.off ? w.leaves : at.n == 0 ? w.top : nullptr;
}

// Whether a row set the union member its type reads. Reading the other one
// is no constant expression, which __builtin_constant_p tells without ending
// the build with a message of the compiler's.
consteval bool has_mode(const link_entry &e)
{
	return __builtin_constant_p(e.mode) != 0;
}

consteval bool has_target(const link_entry &e)
{
	return __builtin_constant_p(e.target) != 0;
}

// The rule a row breaks on its own, in words; nullptr where it breaks none.
consteval const char *row_rule(const link_entry &e)
{
	if (const char *r = place_rule(e.path, path_words))
		return r;
	switch (e.type) {
	case ENTRY_CHMOD:
		if (!has_mode(e))
			return "a permission change needs .mode, not a target";
		return (e.mode & ~mode_t{07777}) != 0 ? "mode has bits beyond 07777" : nullptr;
	case ENTRY_SYMLINK:
		if (!has_target(e))
			return "a link needs a target, not .mode";
		return e.target == nullptr || e.target[0] == '\0' ? "link text is empty" : nullptr;
	case ENTRY_HARDLINK:
	case ENTRY_CONDLINK:
		break;
	}
	// Unnamed codes are carried out as hard links, so hold them to that. A
	// hard link may fall back to cp, which would take a leading '-' for an
	// option.
	if (!has_target(e))
		return "a link needs a target, not .mode";
	if (const char *r = place_rule(e.target, target_words))
		return r;
	if (e.path[0] == '-')
		return "path begins with a dash, which cp would take for an option";
	if (e.target[0] == '-')
		return "target begins with a dash, which cp would take for an option";
	return nullptr;
}

// The first row that breaks a rule, and the rule; rule is nullptr for a
// sound table. Every row is checked on its own before any two are compared.
struct verdict {
	std::size_t row;
	const char *rule;
};

consteval verdict judge(const link_entry *t, std::size_t n)
{
	for (std::size_t i = 0; i < n; i++)
		if (const char *r = row_rule(t[i]))
			return {i, r};
	for (std::size_t i = 0; i < n; i++) {
		if (t[i].type == ENTRY_CHMOD)
			continue;
		bool symbolic = t[i].type == ENTRY_SYMLINK;
		place path, target, other;
		locate(path, t[i].path);
		aim(target, t[i]);
		if (same(target, path))
			return {i, symbolic ? "link text names the link itself" : "target is the path itself"};
		for (std::size_t j = 0; j < n; j++) {
			if (j == i || t[j].type == ENTRY_CHMOD)
				continue;
			locate(other, t[j].path);
			if (j < i && same(other, path))
				return {i, "path is made by an earlier row too"};
			if (symbolic || !same(other, target))
				continue;
			// Making a symbolic link never reads its text, but a hard
			// link or a copy reads its target, which must be there and
			// must be what a rerun finds again.
			if (j > i)
				return {i, "target is made by a later row"};
			if (t[j].type == ENTRY_SYMLINK)
				return {i, "target is made by a symbolic link"};
		}
	}
	return {0, nullptr};
}

// The message g++ shows: it prints a class-type template argument as text.
struct text {
	char s[128];
};

consteval text message(const verdict &v)
{
	text m{};
	std::size_t k = 0;
	for (const char *c = "row "; *c != '\0'; c++)
		m.s[k++] = *c;
	std::size_t digits = 1;
	for (std::size_t r = v.row; r >= 10; r /= 10)
		digits++;
	for (std::size_t d = 0, r = v.row; d < digits; d++, r /= 10)
		m.s[k + digits - 1 - d] = static_cast<char>('0' + r % 10);
	k += digits;
	m.s[k++] = ':';
	m.s[k++] = ' ';
	for (const char *c = v.rule; *c != '\0' && k + 1 < sizeof m.s; c++)
		m.s[k++] = *c;
	return m;
}

template <text m>
struct table_error {
	static_assert(m.s[0] == '\0', "bad link table");
	static constexpr bool ok = m.s[0] == '\0';
};

#ifdef __clang__
// clang shows the arguments of the calls that led to a failure, but prints
// a computed string as numbers, so the row is named by a literal.
#define LINKS_ROWS10(p) p "0", p "1", p "2", p "3", p "4", p "5", p "6", p "7", p "8", p "9"
#define LINKS_ROWS100(p) LINKS_ROWS10(p "0"), LINKS_ROWS10(p "1"), LINKS_ROWS10(p "2"), \
	LINKS_ROWS10(p "3"), LINKS_ROWS10(p "4"), LINKS_ROWS10(p "5"), LINKS_ROWS10(p "6"), \
	LINKS_ROWS10(p "7"), LINKS_ROWS10(p "8"), LINKS_ROWS10(p "9")
inline constexpr const char *row_names[] = {LINKS_ROWS10("row "), LINKS_ROWS10("row 1"),
	LINKS_ROWS10("row 2"), LINKS_ROWS10("row 3"), LINKS_ROWS10("row 4"), LINKS_ROWS10("row 5"),
	LINKS_ROWS10("row 6"), LINKS_ROWS10("row 7"), LINKS_ROWS10("row 8"), LINKS_ROWS10("row 9"),
	LINKS_ROWS100("row 1"), LINKS_ROWS100("row 2"), LINKS_ROWS100("row 3"), LINKS_ROWS100("row 4"),
	LINKS_ROWS100("row 5"), LINKS_ROWS100("row 6"), LINKS_ROWS100("row 7"), LINKS_ROWS100("row 8"),
	LINKS_ROWS100("row 9")};
#undef LINKS_ROWS100
#undef LINKS_ROWS10

void bad_link_table();

consteval void reject(const char * /*row*/, const char *rule)
{
	if (rule != nullptr)
		bad_link_table();	// not a constant expression: the build stops here
}
#endif

template <const auto &rows>
consteval bool check_table()
{
	constexpr verdict v = judge(rows, std::size(rows));
#ifdef __clang__
	reject(v.row < std::size(row_names) ? row_names[v.row] : "row 1000 or later", v.rule);
	return true;
#else
	return table_error<v.rule == nullptr ? text{} : message(v)>::ok;
#endif
}

// The older form, for tables that were checked before the rows could name
// themselves: it says only whether the rows are sound.
consteval bool check_table(const link_entry *t, std::size_t n)
{
	return judge(t, n).rule == nullptr;
}

} // namespace table_check
