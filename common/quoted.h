// A name quoted and escaped as quote writes it, as a string, for the tools
// and tests that use the standard library; the programs that carry a table
// write through quote itself.
#pragma once

#include <string>
#include <string_view>

#include "text.h"

inline std::string quoted(std::string_view s)
{
	std::string q;
	quote(s, [&](const char *p, std::size_t n) { q.append(p, n); });
	return q;
}
