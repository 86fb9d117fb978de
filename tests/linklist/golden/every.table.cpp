// Written by the build from every.links; edit that instead.
#include "link_entry.h"

namespace {

const link_entry rows[] = {
	{ENTRY_HARDLINK, {"bin/tool-1.2"}, "bin/tool"},
	{ENTRY_SYMLINK, {"libfoo.so.1"}, "lib/libfoo.so"},
	{ENTRY_CONDLINK, {"share/read me"}, "doc/read me"},
	{ENTRY_OWNER, {"root:root"}, "bin/tool-1.2"},
	{ENTRY_CAPS, {"cap_chown=eip cap_net_raw+ep" "\000\001\000\000\002\001\040\000\000\001\000\000\000\000\000\000\000\000\000\000\000"}, "bin/tool-1.2"},
	{ENTRY_CHMOD, {.mode = 04755}, "bin/tool-1.2"},
	{ENTRY_CHMOD, {.mode = 0640}, "odd/it's a \"quoted\" \\ name-\303\251"},
	{ENTRY_HARDLINK, {"odd/\?\?=\?\?/\?\?!"}, "odd/\302\233\233\205\351"},
	{ENTRY_SYMLINK, {"/etc/tool"}, "etc"},
	{ENTRY_HARDLINK, {"bin/\303\251a"}, "bin/\303\251b"},
	{ENTRY_OWNER, {"65534:065534"}, "bin/\303\251b"},
	{ENTRY_OWNER, {"0:7"}, "share/read me"},
};

} // namespace

extern const link_entry *const link_table = rows;
extern const std::size_t link_table_size = sizeof rows / sizeof rows[0];
