// A component's tree: lay out the files its rows point at, and list what a
// directory holds. Shared by the tree tool and the tests.
#pragma once

#include <filesystem>
#include <string>

#include "link_entry.h"

namespace fs = std::filesystem;

// Give every target of the table a file holding its own name, and make the
// directory of every path.
void lay(const fs::path &dir);

// One sorted line per entry under dir: path, kind, mode, then the link
// count and content of a file, or the text of a symbolic link.
std::string listing(const fs::path &dir);

std::string slurp(const fs::path &p);
void spill(const fs::path &p, const std::string &text, fs::perms mode = fs::perms(0644));
