// Programs and libraries of the ARM bare-metal GCC cross toolchain that are
// installed under more than one name.
#include <iterator>

#include "link_table.h"

namespace {

constexpr link_entry rows[] = {
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/c++"}, "arm-none-eabi/bin/g++"},
	{ENTRY_HARDLINK, {"arm-none-eabi/lib/armv6-m/libc.a"}, "arm-none-eabi/lib/armv6-m/libg.a"},
	{ENTRY_HARDLINK, {"arm-none-eabi/lib/thumb2/libc.a"}, "arm-none-eabi/lib/thumb2/libg.a"},
	{ENTRY_HARDLINK, {"arm-none-eabi/lib/thumb/libc.a"}, "arm-none-eabi/lib/thumb/libg.a"},
	{ENTRY_HARDLINK, {"arm-none-eabi/lib/libc.a"}, "arm-none-eabi/lib/libg.a"},
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/objdump"}, "bin/arm-none-eabi-objdump"},
	{ENTRY_HARDLINK, {"bin/arm-none-eabi-gcc-4.6.1"}, "bin/arm-none-eabi-gcc"},
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/nm"}, "bin/arm-none-eabi-nm"},
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/strip"}, "bin/arm-none-eabi-strip"},
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/as"}, "bin/arm-none-eabi-as"},
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/objcopy"}, "bin/arm-none-eabi-objcopy"},
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/ld"}, "bin/arm-none-eabi-ld"},
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/ar"}, "bin/arm-none-eabi-ar"},
	{ENTRY_HARDLINK, {"arm-none-eabi/bin/ranlib"}, "bin/arm-none-eabi-ranlib"},
	{ENTRY_HARDLINK, {"bin/arm-none-eabi-g++"}, "bin/arm-none-eabi-c++"},
	{ENTRY_SYMLINK, {"liblto_plugin.so.0.0.0"}, "libexec/gcc/arm-none-eabi/4.6.1/liblto_plugin.so"},
	{ENTRY_SYMLINK, {"liblto_plugin.so.0.0.0"}, "libexec/gcc/arm-none-eabi/4.6.1/liblto_plugin.so.0"},
};
static_assert(std::size(rows) == 17);
static_assert(table_check::check_table<rows>());

} // namespace

extern const link_entry *const link_table = rows;
extern const std::size_t link_table_size = std::size(rows);
