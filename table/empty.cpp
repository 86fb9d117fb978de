// A component that installs no links: its programs only check their command
// line and the installation directory.
#include "link_table.h"

extern const link_entry *const link_table = nullptr;
extern const std::size_t link_table_size = 0;
