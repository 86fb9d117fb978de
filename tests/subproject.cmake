# A parent project brings this one in and declares a component of its own;
# its programs are built, checked as delivered, installed and run, and a bad
# row in its table stops its build. Run with -DSOURCE=<this project>
# -DWORK=<scratch directory>.
file(REMOVE_RECURSE ${WORK})
set(row0 "{ENTRY_HARDLINK, {\"data/tool\"}, \"bin/tool\"}")
set(row1 "{ENTRY_SYMLINK, {\"../data/tool\"}, \"bin/alias\"}")
function(table rows)
	file(WRITE ${WORK}/parent/pair.cpp "#include <iterator>\n#include \"link_table.h\"\n
constexpr link_entry rows[] = {${rows}};
static_assert(table_check::check_table(rows, std::size(rows)), \"bad link table\");
extern const link_entry *const link_table = rows;
extern const std::size_t link_table_size = std::size(rows);\n")
endfunction()
table("${row0}, ${row1}")
file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory(${SOURCE} mklinks)
links_component(pair TABLE \${CMAKE_CURRENT_SOURCE_DIR}/pair.cpp)\n")
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
must(${CMAKE_COMMAND} --install build --prefix inst)
file(GLOB_RECURSE installed RELATIVE ${WORK}/inst ${WORK}/inst/*)
list(SORT installed)
set(want bin/mklinks-pair bin/rmlinks-pair share/man/man1/mklinks-pair.1.gz share/man/man1/mklinks.1.gz
	share/man/man1/rmlinks-pair.1.gz share/man/man1/rmlinks.1.gz)
if(NOT installed STREQUAL want)
	message(FATAL_ERROR "installed ${installed}, not ${want}")
endif()
must(${CMAKE_COMMAND} -DPROGRAMS=${WORK}/inst/bin/mklinks-pair\;${WORK}/inst/bin/rmlinks-pair
	-DARCH=ELF -DSANITIZE=OFF -P ${SOURCE}/tests/delivery.cmake)

file(WRITE ${WORK}/tree/data/tool "tool")
file(MAKE_DIRECTORY ${WORK}/tree/bin)
must(inst/bin/mklinks-pair tree -v)
set(trace "Verbose mode.\nlink \"bin/tool\" -> \"data/tool\"\nprocessed hardlink\n")
string(APPEND trace "symlink \"bin/alias\" -> \"../data/tool\"\nprocessed symlink\n")
file(READ_SYMLINK ${WORK}/tree/bin/alias text)
if(NOT out STREQUAL trace OR NOT text STREQUAL "../data/tool")
	message(FATAL_ERROR "mklinks-pair: ${out}")
endif()
must(inst/bin/rmlinks-pair tree)
if(EXISTS ${WORK}/tree/bin/tool OR IS_SYMLINK ${WORK}/tree/bin/alias OR NOT EXISTS ${WORK}/tree/data/tool)
	message(FATAL_ERROR "rmlinks-pair left the wrong tree")
endif()

# A row whose target is where another row makes its link stops the build.
table("${row0}, ${row1}, {ENTRY_HARDLINK, {\"bin/alias\"}, \"bin/other\"}")
run(${CMAKE_COMMAND} --build build)
if(status EQUAL 0 OR NOT out MATCHES "bad link table")
	message(FATAL_ERROR "a bad row did not stop the build:\n${out}")
endif()
