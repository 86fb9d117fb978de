// The rules every component's rows must keep, checked by the build before
// any program of the component is compiled, whether the rows come from a
// list or from a table written in C++.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "link_entry.h"

// A row that breaks a rule: the row, counted from 0, the rule in words, and
// the other row the rule is about, where there is one.
struct finding {
	std::size_t row;
	std::string rule;
	std::size_t other;
};

inline constexpr std::size_t no_row = static_cast<std::size_t>(-1);

// Every row that breaks a rule, each once, in table order. The cost grows
// with the rows and the length of their paths, never with pairs of rows.
std::vector<finding> check(const link_entry *rows, std::size_t n);
