// A component's list: one row a line, "TYPE TARGET PATH" or "chmod MODE
// PATH", read into the rows of a table, and a table written out as the C++
// source the programs are compiled with.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link_entry.h"

struct list {
	std::deque<std::string> texts;	// what the rows' strings point into
	std::vector<link_entry> rows;
	std::vector<std::size_t> lines;	// the line of each row, from 1
};

// A fault of the list, on a line; line 0 is the file as a whole.
using reporter = std::function<void(std::size_t line, const std::string &what)>;

// Read the whole of a file into text, or say why not. Only a regular file
// is read: a FIFO, a device or a directory is refused before anything is
// read from it, and opening one never waits. The file is read as large as
// it was when opened: one that grew meanwhile is refused, as is one that a
// read fails in, since a list cut short may still look sound.
const char *read_file(const std::string &file, std::string &text);

// Read the list from text. Returns false, having reported each fault, where
// a line is not a row, a comment or blank.
bool read_list(const std::string &text, list &l, const reporter &report);

// Append to out the lines of a list that hold these rows, in this order,
// each field in double quotes where it holds a blank, a quote or a
// backslash, and only there: the list read_list reads them from again.
void write_rows(std::string &out, std::span<const link_entry> rows);

// The C++ source that defines link_table and link_table_size with
// these rows, in this order; from names the list in a comment.
std::string write_table(const std::vector<link_entry> &rows, const std::string &from);
