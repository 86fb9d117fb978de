# Cross-build the programs for 64-bit ARM Linux with Debian's cross compiler
# (package g++-aarch64-linux-gnu). The manual pages are still written on the
# build machine, by a page writer compiled with its own C++ compiler.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
find_program(mklinks_cross_cxx aarch64-linux-gnu-g++ NO_CACHE)
if(NOT mklinks_cross_cxx)
	message(FATAL_ERROR "The aarch64 build needs the cross compiler aarch64-linux-gnu-g++: "
		"install the Debian package g++-aarch64-linux-gnu (which replaces g++-multilib).")
endif()
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
