// The record of a component's rows: one constant row per file-system
// action. The build writes each component's table from its list as a
// source that defines link_table and link_table_size with this alone, so
// that a table costs the compiler next to nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

enum entry_type : std::uint32_t {
	ENTRY_HARDLINK = 0,	// replace path by a hard link to target, or a copy
	ENTRY_SYMLINK = 1,	// replace path by a symbolic link holding target
	ENTRY_CONDLINK = 2,	// as ENTRY_HARDLINK, only when target exists
	ENTRY_CHMOD = 3,	// set the permission bits of path to mode
	ENTRY_OWNER = 4,	// give path the owner and group "USER:GROUP" in target
	ENTRY_CAPS = 5,		// give path the file capabilities in target: text, NUL, attribute
};

struct link_entry {
	entry_type type;
	union {
		const char *target;	// every type but ENTRY_CHMOD
		mode_t mode;		// ENTRY_CHMOD
	};
	const char *path;
};

// The bytes of the "security.capability" attribute that follow the text of
// an ENTRY_CAPS row: revision 2, as the kernel takes it from anyone.
inline constexpr std::size_t caps_size = 20;

// Where those bytes start. The builtin spares a table's source the string
// header.
inline const unsigned char *caps_bytes(const link_entry &e)
{
	return reinterpret_cast<const unsigned char *>(e.target + __builtin_strlen(e.target) + 1);
}

static_assert(sizeof(entry_type) == 4);
static_assert(sizeof(link_entry) == 3 * sizeof(void *));

extern const link_entry *const link_table;
extern const std::size_t link_table_size;

