# A parent project brings this one in and declares components of its own: a
# list with a shared library's soname chain, a versioned tool's chain, a
# permission change and a name with blanks, in one install component; a
# table written in C++ as the first release had it, in the parent's default
# install component; and a component built only on demand. Their programs
# are built despite a warning in the C++ table, checked as delivered,
# installed and run; a bad row stops the build at its line, or names its
# row; a misspelt keyword or one without its value stops configuring; and
# the parent's environment is left as it was. Run with -DSOURCE=<this
# project> -DWORK=<scratch directory>.
file(REMOVE_RECURSE ${WORK})
set(list "# A shared library's soname chain, and a tool's chain and mode.
symlink   libfoo.so.1       lib/libfoo.so
symlink   libfoo.so.1.2.3   lib/libfoo.so.1
hardlink  bin/foo-tool-1.2  bin/foo-tool-1
hardlink  bin/foo-tool-1    bin/foo-tool
chmod     0755              bin/foo-tool-1.2
hardlink  \"share/foo/read me\"  \"share/doc/read me\"
")
file(WRITE ${WORK}/parent/pair.links "${list}")
function(table rows)
	file(WRITE ${WORK}/parent/old.cpp "#include <iterator>\n#include \"link_table.h\"\n
namespace {
int unused;	// a warning, never an error, in a parent's build
constexpr link_entry rows[] = {${rows}};
static_assert(table_check::check_table<rows>());
}
extern const link_entry *const link_table = rows;
extern const std::size_t link_table_size = std::size(rows);\n")
endfunction()
set(rows "{ENTRY_SYMLINK, {\"foo.conf\"}, \"etc/foo.conf.default\"}, {ENTRY_CHMOD, {.mode = 0600}, \"etc/foo.conf\"},")
table("${rows}")
function(parent keyword)
	file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
set(before \"\$ENV{SOURCE_DATE_EPOCH}\")
add_subdirectory(${SOURCE} mklinks)
file(WRITE \${CMAKE_BINARY_DIR}/guest \"\${before}|\$ENV{SOURCE_DATE_EPOCH}|\${MKLINKS_WERROR}\")
links_component(pair ${keyword})
add_custom_target(uses ALL COMMAND \$<TARGET_FILE:cklinks-pair> --version > version DEPENDS cklinks-pair)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME extras)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY \${CMAKE_BINARY_DIR}/programs)
links_component(old TABLE old.cpp)
links_component(python3.11-minimal EXCLUDE_FROM_ALL TABLE pair.links)
links_component(libstdc++6 EXCLUDE_FROM_ALL TABLE pair.links)\n")
endfunction()
parent("COMPONENT tools")
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
function(installed prefix want)
	file(GLOB_RECURSE got RELATIVE ${WORK}/${prefix} ${WORK}/${prefix}/*)
	list(SORT got)
	if(NOT got STREQUAL want)
		message(FATAL_ERROR "installed ${got}, not ${want}")
	endif()
endfunction()

must(${CMAKE_COMMAND} -S parent -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
# A component in the default build costs the parent's build no target of
# its own, since Make does work for every target even when nothing is left
# to do: one target builds every component of the directory. One built only
# on demand is its three programs. The table written in C++ needs a
# linklist of its own. Each program's source is compiled once, whatever
# the components.
file(GLOB targets RELATIVE ${WORK}/build/CMakeFiles ${WORK}/build/CMakeFiles/*.dir)
list(SORT targets)
set(want cklinks-libstdc++6.dir cklinks-python3.11-minimal.dir mklinks-libstdc++6.dir
	mklinks-python3.11-minimal.dir mklinks_components.dir mklinks_linklist_old.dir rmlinks-libstdc++6.dir
	rmlinks-python3.11-minimal.dir uses.dir)
if(NOT targets STREQUAL want)
	message(FATAL_ERROR "the parent's components make the targets ${targets}")
endif()
file(READ ${WORK}/build/compile_commands.json commands)
foreach(source mklinks/mklinks cklinks/cklinks rmlinks/rmlinks common/beneath common/say common/owner)
	string(REGEX MATCHALL "\"file\": \"[^\"]*/${source}\\.cpp\"" compiled "${commands}")
	list(LENGTH compiled times)
	if(NOT times EQUAL 1)
		message(FATAL_ERROR "${source}.cpp is compiled ${times} times")
	endif()
endforeach()
# Our own top-level builds turn warnings into errors; a parent's do not, and
# its environment is as it was.
file(READ ${WORK}/build/guest guest)
if(NOT guest STREQUAL "$ENV{SOURCE_DATE_EPOCH}|$ENV{SOURCE_DATE_EPOCH}|OFF")
	message(FATAL_ERROR "the parent's environment or options changed: ${guest}")
endif()
must(${CMAKE_COMMAND} -S ${SOURCE} -B top -DBUILD_TESTING=OFF)
file(STRINGS ${WORK}/top/CMakeCache.txt werror REGEX "^MKLINKS_WERROR:BOOL=ON$")
if(NOT werror)
	message(FATAL_ERROR "a top-level build does not treat warnings as errors")
endif()

# A parent names a program for its file and as a dependency, which builds
# the program first, and may say where programs go. Each install component
# gets its programs and the general pages, also where only they were built,
# and nothing is installed of a component built only on demand.
must(${CMAKE_COMMAND} --build build --target uses)
must(${CMAKE_COMMAND} --install build --prefix inst --component tools)
must(${CMAKE_COMMAND} --build build)
file(READ ${WORK}/build/version version)
if(NOT version MATCHES "^cklinks \\(mklinks\\) " OR NOT EXISTS ${WORK}/build/programs/mklinks-old)
	message(FATAL_ERROR "cklinks-pair --version said ${version}, or mklinks-old is not in its directory")
endif()
foreach(c pair old)
	set(${c} bin/cklinks-${c} bin/mklinks-${c} bin/rmlinks-${c} share/man/man1/cklinks-${c}.1.gz
		share/man/man1/cklinks.1.gz share/man/man1/mklinks-${c}.1.gz share/man/man1/mklinks.1.gz
		share/man/man1/rmlinks-${c}.1.gz share/man/man1/rmlinks.1.gz)
	list(SORT ${c})
endforeach()
installed(inst "${pair}")
# A page is the same bytes whenever it is built: gzip writes no time.
foreach(page mklinks.1.gz mklinks-pair.1.gz)
	file(READ ${WORK}/inst/share/man/man1/${page} head HEX LIMIT 8)
	if(NOT head MATCHES "^1f8b08..00000000$")
		message(FATAL_ERROR "${page} carries a time: ${head}")
	endif()
endforeach()
must(${CMAKE_COMMAND} --install build --prefix inst-extras --component extras)
installed(inst-extras "${old}")
must(${CMAKE_COMMAND} --install build --prefix inst-all)
file(GLOB lazy ${WORK}/inst-all/bin/*python3* ${WORK}/inst-all/bin/*++*)
if(lazy OR NOT EXISTS ${WORK}/inst-all/bin/mklinks-old)
	message(FATAL_ERROR "a full install holds ${lazy}, or lacks mklinks-old")
endif()
file(STRINGS ${WORK}/build/mklinks/mklinks.1 ours REGEX "toolchain")
if(ours)
	message(FATAL_ERROR "the general page lists programs the parent does not ship: ${ours}")
endif()
# Names that packages have build on demand.
must(${CMAKE_COMMAND} --build build --target mklinks-python3.11-minimal cklinks-libstdc++6)
file(GLOB programs ${WORK}/inst-all/bin/*)
must(${CMAKE_COMMAND} "-DPROGRAMS=${programs}" -DARCH=ELF -DSANITIZE=OFF -P ${SOURCE}/tests/delivery.cmake)

# The list's rows are made, found in place and taken away again, all but
# the permission change, which leaves nothing to take away.
file(WRITE ${WORK}/tree/lib/libfoo.so.1.2.3 "lib")
file(WRITE ${WORK}/tree/bin/foo-tool-1.2 "tool")
file(WRITE "${WORK}/tree/share/foo/read me" "doc")
file(MAKE_DIRECTORY ${WORK}/tree/share/doc)
must(inst/bin/mklinks-pair tree -v)
set(trace "Verbose mode.\n")
foreach(link "lib/libfoo.so\" -> \"libfoo.so.1" "lib/libfoo.so.1\" -> \"libfoo.so.1.2.3")
	string(APPEND trace "symlink \"${link}\"\nprocessed symlink\n")
endforeach()
foreach(link "bin/foo-tool-1\" -> \"bin/foo-tool-1.2" "bin/foo-tool\" -> \"bin/foo-tool-1")
	string(APPEND trace "link \"${link}\"\nprocessed hardlink\n")
endforeach()
string(APPEND trace "chmod 755 \"bin/foo-tool-1.2\"\nlink \"share/doc/read me\" -> \"share/foo/read me\"\n"
	"processed hardlink\n")
file(READ ${WORK}/tree/lib/libfoo.so lib)
file(READ ${WORK}/tree/bin/foo-tool tool)
file(READ "${WORK}/tree/share/doc/read me" doc)
if(NOT out STREQUAL trace OR NOT lib STREQUAL "lib" OR NOT tool STREQUAL "tool" OR NOT doc STREQUAL "doc")
	message(FATAL_ERROR "mklinks-pair: ${out}")
endif()
must(inst/bin/cklinks-pair tree)
must(inst/bin/rmlinks-pair tree)
file(GLOB_RECURSE left RELATIVE ${WORK}/tree ${WORK}/tree/*)
list(SORT left)
if(NOT left STREQUAL "bin/foo-tool-1.2;lib/libfoo.so.1.2.3;share/foo/read me" OR NOT out STREQUAL "")
	message(FATAL_ERROR "rmlinks-pair left ${left}: ${out}")
endif()

# A bad row stops the build: a list's at its line, naming the other row's,
# and a C++ table's by its row.
file(APPEND ${WORK}/parent/pair.links "hardlink lib/libfoo.so bin/other\n")
run(${CMAKE_COMMAND} --build build)
if(status EQUAL 0 OR NOT out MATCHES "pair.links:8: error: target is made by a symbolic link \\(line 2\\)")
	message(FATAL_ERROR "a bad row did not stop the build at its line:\n${out}")
endif()
file(WRITE ${WORK}/parent/pair.links "${list}")
table("${rows} {ENTRY_HARDLINK, {\"etc/foo.conf.default\"}, \"etc/foo.conf.old\"}")
run(${CMAKE_COMMAND} --build build)
if(status EQUAL 0 OR NOT out MATCHES "old.cpp: error: row 2: target is made by a symbolic link \\(row 0\\)")
	message(FATAL_ERROR "a bad row did not stop the build, naming its row:\n${out}")
endif()

# A misspelt keyword, or one without its value, stops configuring; a parent
# without a build type hears that its programs are not fortified.
foreach(keyword COMPONET COMPONENT)
	parent(${keyword})
	run(${CMAKE_COMMAND} -S parent -B build-${keyword})
	if(status EQUAL 0 OR NOT out MATCHES "missing value: ${keyword}" OR NOT out MATCHES "not fortified")
		message(FATAL_ERROR "${keyword} alone passed, or no build type went unremarked:\n${out}")
	endif()
endforeach()

# A table that is not there stops configuring, naming it.
file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory(${SOURCE} mklinks)
links_component(absent)\n")
run(${CMAKE_COMMAND} -S parent -B build-absent -DCMAKE_BUILD_TYPE=Release)
string(REGEX REPLACE "[ \n]+" " " out "${out}")	# CMake folds a long message where the path's length says
if(status EQUAL 0 OR NOT out MATCHES "links_component\\(absent\\): its table [^ ]*/parent/absent.links does not exist")
	message(FATAL_ERROR "a missing table was taken:\n${out}")
endif()

# A component's name is a plain file name: one that climbs out of the build
# directory, or holds a newline, stops configuring, naming it.
foreach(name "../../escape" "a\nb" "..")
	file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory(${SOURCE} mklinks)
links_component(\"${name}\" TABLE pair.links)\n")
	run(${CMAKE_COMMAND} -S parent -B build-name -DCMAKE_BUILD_TYPE=Release)
	string(FIND "${out}" "links_component(${name}" said)
	string(REGEX REPLACE "[ \n]+" " " out "${out}")
	string(FIND "${out}" "a component's name is a file name of letters, digits" why)
	if(status EQUAL 0 OR (said EQUAL -1 AND NOT name MATCHES "\n") OR why EQUAL -1)
		message(FATAL_ERROR "the name ${name} was taken:\n${out}")
	endif()
endforeach()

# What the build cannot carry stops configuring, naming the call: a name
# too long for the files named after it, a name declared twice, and a table
# path holding what would end a list, a line or a word of the build's own
# files. Each case: the calls, then what configuring says.
string(REPEAT "n" 201 long)
set(cases
	"links_component(${long} TABLE pair.links)" "links_component\\(${long}\\): a component's name is at most 200"
	"links_component(pair)\nlinks_component(pair)" "links_component\\(pair\\): a component of this name is already declared"
	"links_component(semi TABLE \"paSEMIir.links\")" "links_component\\(semi\\): the path of its table holds"
	"links_component(line TABLE \"pa\\nir.links\")" "links_component\\(line\\): the path of its table holds"
	"links_component(dollar TABLE \"pa\\$ir.links\")" "links_component\\(dollar\\): the path of its table holds"
	"set(CMAKE_CXX_LINK_EXECUTABLE \"<CMAKE_CXX_COMPILER> <OBJECTS> <MANIFESTS> -o <TARGET>\")\nlinks_component(pair)"
	"links_component: the compiler's rule .* holds <MANIFESTS>, which this build cannot fill")
while(cases)
	list(POP_FRONT cases calls want)
	string(REPLACE "SEMI" ";" calls "${calls}")	# a list cannot hold one as it stands
	file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory(${SOURCE} mklinks)
${calls}\n")
	run(${CMAKE_COMMAND} -S parent -B build-refused -DCMAKE_BUILD_TYPE=Release)
	string(REGEX REPLACE "[ \n]+" " " out "${out}")
	if(status EQUAL 0 OR NOT out MATCHES "${want}")
		message(FATAL_ERROR "configuring took ${calls}:\n${out}")
	endif()
endwhile()
# 200 characters are still a name.
string(REPEAT "n" 200 long)
file(COPY_FILE ${WORK}/parent/pair.links ${WORK}/parent/${long}.links)
file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory(${SOURCE} mklinks)
links_component(${long})\n")
run(${CMAKE_COMMAND} -S parent -B build-long -DCMAKE_BUILD_TYPE=Release)
if(NOT status EQUAL 0)
	message(FATAL_ERROR "a name of 200 characters was refused:\n${out}")
endif()
must(${CMAKE_COMMAND} --build build-long)

# A parent's compiler settings reach the commands that build a component's
# programs as they would reach its targets. Each case: a setting, then what
# the commands hold; the build then proves the commands sound.
set(cases
	-DCMAKE_CXX_COMPILER_LAUNCHER=/usr/bin/env
		"\t/usr/bin/env [^ ]*c\\+\\+ -D_FILE_OFFSET_BITS=64 [^\n]* -c [^ ]*/pair.table.cpp\n"
	-DCMAKE_SYSROOT=/ "-D_FORTIFY_SOURCE=2 -I[^ ]*/common --sysroot=/ "
	-DCMAKE_CXX_FLAGS=-fno-common "/common --sysroot=/ -fno-common -O1 -fPIE "
	-DCMAKE_CXX_FLAGS_RELEASE=-O1 "\t[^ ]*c\\+\\+ --sysroot=/ -fno-common -O1 -Wl,-O1 -pie "
	-DCMAKE_EXE_LINKER_FLAGS=-Wl,-O1 "-Wl,-O1 -pie -static-libstdc\\+\\+ [^\n]* -o [^ ]*/mklinks-pair\n")
set(settings)
set(wants)
while(cases)
	list(POP_FRONT cases setting want)
	list(APPEND settings ${setting})
	list(APPEND wants "${want}")
endwhile()
file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory(${SOURCE} mklinks)
links_component(pair)\n")
must(${CMAKE_COMMAND} -S parent -B build-settings -DCMAKE_BUILD_TYPE=Release ${settings})
file(READ ${WORK}/build-settings/CMakeFiles/mklinks_components.dir/build.make commands)
foreach(want IN LISTS wants)
	if(NOT commands MATCHES "${want}")
		message(FATAL_ERROR "no command holds ${want}:\n${commands}")
	endif()
endforeach()
must(${CMAKE_COMMAND} --build build-settings --target mklinks_components)
