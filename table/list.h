// A component's list: one row a line, "TYPE TARGET PATH" or "chmod MODE
// PATH", read into the rows of a table, and a table written out as the C++
// source the programs are compiled with.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "link_table.h"

struct list {
	std::deque<std::string> texts;	// what the rows' strings point into
	std::vector<link_entry> rows;
	std::vector<std::size_t> lines;	// the line of each row, from 1
};

// A fault of the list, on a line; line 0 is the file as a whole.
using reporter = std::function<void(std::size_t line, const std::string &what)>;

// Read the list from text. Returns false, having reported each fault, where
// a line is not a row, a comment or blank.
bool read_list(const std::string &text, list &l, const reporter &report);

// Write the C++ source that defines link_table and link_table_size with
// these rows, in this order; from names the list in a comment.
void write_table(std::ostream &out, const std::vector<link_entry> &rows, const std::string &from);
