// The manual page of each program of a component, written from its rows so
// that a user can read which paths it replaces before running it, or what
// it requires of them.
#pragma once

#include <cstddef>

#include "link_entry.h"

// Whether there is a page to write for the program tool.
bool has_page(const char *tool);

// Write to out the page of tool (one has_page knows) for a component with
// these rows, which for rmlinks are its own: the link rows alone. Returns
// false where the page cannot be written.
bool write_page(const char *tool, const char *component, const char *version, const char *date,
		const link_entry *rows, std::size_t n, const char *out);
