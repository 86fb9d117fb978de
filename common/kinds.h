// The one table of row kinds: each kind's word in a list, its name in a
// generated table, what its second field holds, whether the remover takes
// its path away, and how the pages word it. The list reader and writer,
// the table writer and the pages read it, so a new kind is a row here, an
// entry_type, and its action in each program, which -Wswitch asks for.
#pragma once

#include <string_view>

#include "link_entry.h"

struct row_kind {
	const char *word;	// in a list
	const char *name;	// in a generated table source
	// What a row does, and what it requires, as mklinks' and cklinks'
	// pages say: %p stands for the path, %t the second field, %m the mode.
	const char *make;
	const char *check;
	entry_type type;
	bool mode;		// the second field is a mode, not a text
	bool link;		// makes its path, which the remover takes away
	bool target;		// the second field is a path of the tree, which the row reads
};

inline constexpr row_kind row_kinds[] = {
	{"hardlink", "ENTRY_HARDLINK", "Replace %p by a hard link to, or a copy of, %t.",
	 "The path %p is a hard link to, or a copy of, %t.", ENTRY_HARDLINK, false, true, true},
	{"symlink", "ENTRY_SYMLINK", "Replace %p by a symbolic link holding %t.",
	 "The path %p is a symbolic link holding %t.", ENTRY_SYMLINK, false, true, false},
	{"condlink", "ENTRY_CONDLINK",
	 "Where %t exists, replace %p by a hard link to it, or a copy of it; otherwise leave it alone.",
	 "Where %t exists, the path %p is a hard link to it, or a copy of it; otherwise nothing is required.",
	 ENTRY_CONDLINK, false, true, true},
	{"chmod", "ENTRY_CHMOD", "Set the permission bits of %p to %m.", "The permission bits of %p are %m.",
	 ENTRY_CHMOD, true, false, false},
	{"owner", "ENTRY_OWNER", "Give %p the owner and group %t.", "The owner and group of %p are %t.", ENTRY_OWNER,
	 false, false, false},
	{"caps", "ENTRY_CAPS", "Give %p the file capabilities %t.", "The file capabilities of %p are %t.", ENTRY_CAPS,
	 false, false, false},
};

// The kind of a code, or nullptr for a code without one, which the
// programs carry out as a hard link.
constexpr const row_kind *kind_of(entry_type type)
{
	for (const row_kind &k : row_kinds)
		if (k.type == type)
			return &k;
	return nullptr;
}

// The kind a list names with word, or nullptr.
constexpr const row_kind *kind_named(std::string_view word)
{
	for (const row_kind &k : row_kinds)
		if (word == k.word)
			return &k;
	return nullptr;
}

// What a code is carried out as: its own kind, or a hard link's.
constexpr const row_kind &kind_or_hardlink(entry_type type)
{
	const row_kind *k = kind_of(type);
	return k != nullptr ? *k : row_kinds[0];
}
