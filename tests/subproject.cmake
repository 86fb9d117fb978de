# A parent project brings this one in and declares a component of its own,
# a shared library's soname chain and a versioned tool's chain, in an install
# component. Its programs are built despite a warning in its table, checked
# as delivered, installed and run; a bad row stops its build with a message
# that names the row, and a misspelt keyword stops its configuring. Run with
# -DSOURCE=<this project> -DWORK=<scratch directory>.
file(REMOVE_RECURSE ${WORK})
set(rows "{ENTRY_SYMLINK, {\"libfoo.so.1\"}, \"lib/libfoo.so\"},
	{ENTRY_SYMLINK, {\"libfoo.so.1.2.3\"}, \"lib/libfoo.so.1\"},
	{ENTRY_HARDLINK, {\"bin/foo-tool-1.2\"}, \"bin/foo-tool-1\"},
	{ENTRY_HARDLINK, {\"bin/foo-tool-1\"}, \"bin/foo-tool\"},")
function(table rows)
	file(WRITE ${WORK}/parent/pair.cpp "#include <iterator>\n#include \"link_table.h\"\n
namespace {
int unused;	// a warning, never an error, in a parent's build
constexpr link_entry rows[] = {${rows}};
static_assert(table_check::check_table<rows>());
}
extern const link_entry *const link_table = rows;
extern const std::size_t link_table_size = std::size(rows);\n")
endfunction()
function(parent keyword)
	file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory(${SOURCE} mklinks)
links_component(pair TABLE \${CMAKE_CURRENT_SOURCE_DIR}/pair.cpp ${keyword} tools)\n")
endfunction()
table("${rows}")
parent(COMPONENT)
macro(run)
	execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK} OUTPUT_VARIABLE out ERROR_VARIABLE out
		RESULT_VARIABLE status)
endmacro()
macro(must)
	run(${ARGN})
	if(NOT status EQUAL 0)
		message(FATAL_ERROR "${ARGN} failed:\n${out}")
	endif()
endmacro()

must(${CMAKE_COMMAND} -S parent -B build -DCMAKE_BUILD_TYPE=Release)
must(${CMAKE_COMMAND} --build build)
must(${CMAKE_COMMAND} --install build --prefix inst --component tools)
file(GLOB_RECURSE installed RELATIVE ${WORK}/inst ${WORK}/inst/*)
list(SORT installed)
set(want bin/cklinks-pair bin/mklinks-pair bin/rmlinks-pair share/man/man1/cklinks-pair.1.gz
	share/man/man1/cklinks.1.gz share/man/man1/mklinks-pair.1.gz share/man/man1/mklinks.1.gz
	share/man/man1/rmlinks-pair.1.gz share/man/man1/rmlinks.1.gz)
if(NOT installed STREQUAL want)
	message(FATAL_ERROR "installed ${installed}, not ${want}")
endif()
file(STRINGS ${WORK}/build/mklinks/mklinks.1 ours REGEX "toolchain")
if(ours)
	message(FATAL_ERROR "the general page lists programs the parent does not ship: ${ours}")
endif()
file(GLOB programs ${WORK}/inst/bin/*)
must(${CMAKE_COMMAND} "-DPROGRAMS=${programs}" -DARCH=ELF -DSANITIZE=OFF -P ${SOURCE}/tests/delivery.cmake)

file(WRITE ${WORK}/tree/lib/libfoo.so.1.2.3 "lib")
file(WRITE ${WORK}/tree/bin/foo-tool-1.2 "tool")
must(inst/bin/mklinks-pair tree -v)
set(trace "Verbose mode.\n")
foreach(link "lib/libfoo.so\" -> \"libfoo.so.1" "lib/libfoo.so.1\" -> \"libfoo.so.1.2.3")
	string(APPEND trace "symlink \"${link}\"\nprocessed symlink\n")
endforeach()
foreach(link "bin/foo-tool-1\" -> \"bin/foo-tool-1.2" "bin/foo-tool\" -> \"bin/foo-tool-1")
	string(APPEND trace "link \"${link}\"\nprocessed hardlink\n")
endforeach()
file(READ ${WORK}/tree/lib/libfoo.so lib)
file(READ ${WORK}/tree/bin/foo-tool tool)
if(NOT out STREQUAL trace OR NOT lib STREQUAL "lib" OR NOT tool STREQUAL "tool")
	message(FATAL_ERROR "mklinks-pair: ${out}")
endif()
must(inst/bin/cklinks-pair tree)
must(inst/bin/rmlinks-pair tree)
file(GLOB_RECURSE left RELATIVE ${WORK}/tree ${WORK}/tree/*)
list(SORT left)
if(NOT left STREQUAL "bin/foo-tool-1.2;lib/libfoo.so.1.2.3")
	message(FATAL_ERROR "rmlinks-pair left ${left}")
endif()

# A hard link to a symbolic link's path stops the build, naming the row.
table("${rows} {ENTRY_HARDLINK, {\"lib/libfoo.so\"}, \"bin/other\"}")
run(${CMAKE_COMMAND} --build build)
if(status EQUAL 0 OR NOT out MATCHES "row 4: target is made by a symbolic link")
	message(FATAL_ERROR "a bad row did not stop the build:\n${out}")
endif()

# A misspelt keyword stops configuring; a parent without a build type hears
# that its programs are not fortified.
parent(COMPONET)
run(${CMAKE_COMMAND} -S parent -B build-untyped)
if(status EQUAL 0 OR NOT out MATCHES "COMPONET" OR NOT out MATCHES "not fortified")
	message(FATAL_ERROR "a misspelt keyword passed, or no build type went unremarked:\n${out}")
endif()
