// A component's tree: read its list, lay out the files its rows point at,
// and list what a directory holds. Shared by the tree tool and the tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "list.h"

namespace fs = std::filesystem;

// The rows of a component's list, read as the build reads it; a list that
// is not sound ends the program.
list load_list(const fs::path &file);

// Give every target of the rows a file holding its own name, and make the
// directory of every path.
void lay(const std::vector<link_entry> &rows, const fs::path &dir);

// One sorted line per entry under dir: path, kind, mode, then the link
// count and content of a file, or the text of a symbolic link.
std::string listing(const fs::path &dir);

std::string slurp(const fs::path &p);
void spill(const fs::path &p, const std::string &text, fs::perms mode = fs::perms(0644));
