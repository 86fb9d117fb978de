// The link table: one constant row per file-system action of a component.
//
// Each component source file in this directory defines link_table and
// link_table_size, and proves its rows sound with check_table(), so that a bad
// row stops the build instead of damaging an installation directory.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Compile-time checks of a component's rows. They read only the union member
// that the row's type makes live, so a row that sets the wrong one fails too.
namespace table_check {

consteval bool same(const char *a, const char *b)
{
	while (*a != '\0' && *a == *b) {
		a++;
		b++;
	}
	return *a == *b;
}

consteval bool relative(const char *p)
{
	return p != nullptr && p[0] != '\0' && p[0] != '/';
}

// A symbolic link's content is read from the directory that holds the link,
// so name the place it points at as the installation directory sees it.
consteval bool names(const link_entry &e, const char *p)
{
	if (e.type != ENTRY_SYMLINK)
		return same(e.target, p);
	if (e.target[0] == '/')
		return false;
	std::size_t dir = 0;
	for (std::size_t i = 0; e.path[i] != '\0'; i++)
		if (e.path[i] == '/')
			dir = i + 1;
	for (std::size_t i = 0; i < dir; i++)
		if (p[i] != e.path[i])
			return false;
	return same(e.target, p + dir);
}

consteval bool row_ok(const link_entry &e)
{
	if (!relative(e.path))
		return false;
	switch (e.type) {
	case ENTRY_CHMOD:
		return (e.mode & ~mode_t{07777}) == 0;
	case ENTRY_SYMLINK:
		return e.target != nullptr && e.target[0] != '\0';
	case ENTRY_HARDLINK:
	case ENTRY_CONDLINK:
		break;
	}
	// Unnamed codes are carried out as hard links, so hold them to that. A
	// hard link may fall back to cp, which would take a leading '-' for an
	// option.
	return relative(e.target) && e.target[0] != '-' && e.path[0] != '-';
}

// Every row that makes a link first removes its path; that path must not be
// where any link-making row (itself included) finds its target.
consteval bool check_table(const link_entry *t, std::size_t n)
{
	for (std::size_t i = 0; i < n; i++) {
		if (!row_ok(t[i]))
			return false;
		if (t[i].type == ENTRY_CHMOD)
			continue;
		for (std::size_t j = 0; j < n; j++)
			if (t[j].type != ENTRY_CHMOD && names(t[j], t[i].path))
				return false;
	}
	return true;
}

} // namespace table_check
