# How every program is built: plain procedural C++ that needs nothing at run
# time but the C library, hardened as a distribution would build it, and
# reproducible whatever the source and build paths. Another project that
# brings this one in builds its own components the same way.
set(MKLINKS_ARCH_FLAGS "" CACHE STRING "Flags that choose the programs' target, such as -m32")
option(MKLINKS_SANITIZE "Build the programs with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
# A newer compiler's new warning must not break the build of a project that
# merely brings this one in, so only our own builds turn warnings into errors.
option(MKLINKS_WERROR "Treat warnings as errors in the programs and their tables" ${PROJECT_IS_TOP_LEVEL})

# A build for another target of this machine, such as -m32, needs that
# target's C library and C++ headers; say which package brings them before
# anything is built.
if(MKLINKS_ARCH_FLAGS)
	try_compile(mklinks_arch_builds SOURCE_FROM_CONTENT probe.cpp "#include <cstdio>\nint main() { return 0; }"
		COMPILE_DEFINITIONS ${MKLINKS_ARCH_FLAGS} LINK_OPTIONS ${MKLINKS_ARCH_FLAGS}
		OUTPUT_VARIABLE probe_log NO_CACHE)
	if(NOT mklinks_arch_builds)
		message(FATAL_ERROR "Cannot build programs with MKLINKS_ARCH_FLAGS=${MKLINKS_ARCH_FLAGS}; "
			"for -m32, install the Debian package g++-multilib.\n${probe_log}")
	endif()
endif()

# Our own code is held to these warnings; code we only build, such as a test
# framework's sources, is not.
add_library(mklinks_warnings INTERFACE)
target_compile_options(mklinks_warnings INTERFACE -Wall -Wextra -Wswitch $<$<BOOL:${MKLINKS_WERROR}>:-Werror>)

# How the programs' sources and their tables are compiled, and how the
# programs are linked.
add_library(mklinks_flags INTERFACE)
target_link_libraries(mklinks_flags INTERFACE mklinks_warnings)
target_include_directories(mklinks_flags INTERFACE ${PROJECT_SOURCE_DIR}/table ${PROJECT_SOURCE_DIR}/common)
target_compile_features(mklinks_flags INTERFACE cxx_std_20)
target_compile_options(mklinks_flags INTERFACE ${MKLINKS_ARCH_FLAGS} -fPIE
	$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti> -fstack-protector-strong
	-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
	-ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
# 64-bit file offsets let a 32-bit program handle files of any size.
target_compile_definitions(mklinks_flags INTERFACE _FILE_OFFSET_BITS=64
	$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
add_library(mklinks_program INTERFACE)
target_link_libraries(mklinks_program INTERFACE mklinks_flags)
# The C++ and GCC runtimes are linked statically and, since the programs use
# nothing of them, contribute nothing.
target_link_options(mklinks_program INTERFACE ${MKLINKS_ARCH_FLAGS} -pie
	-static-libstdc++ -static-libgcc -Wl,--as-needed
	-Wl,-z,relro,-z,now -Wl,-z,noexecstack)
if(MKLINKS_SANITIZE)
	set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-sanitize=vptr
		-fno-omit-frame-pointer)
	target_compile_options(mklinks_flags INTERFACE ${sanitize})
	target_link_options(mklinks_program INTERFACE ${sanitize})
	# Compiled once, like the programs' own sources.
	add_library(mklinks_sanitize OBJECT EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/cmake/sanitize.cpp)
	target_link_libraries(mklinks_sanitize PRIVATE mklinks_flags)
	target_sources(mklinks_program INTERFACE $<TARGET_OBJECTS:mklinks_sanitize>)
endif()
get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(NOT CMAKE_BUILD_TYPE AND NOT multi_config)
	message(WARNING "No CMAKE_BUILD_TYPE is set, so the link programs are not fortified: "
		"_FORTIFY_SOURCE needs an optimised build. Set CMAKE_BUILD_TYPE to Release, "
		"RelWithDebInfo or MinSizeRel for programs to deliver.")
endif()

# linklist checks a component's rows and writes its table sources and
# pages. The build runs it on the build machine, whatever the programs'
# target: the installed linklist where the programs run here, and otherwise
# one built for the build machine, by its own compiler in a cross build. A
# table written in C++ is read by a linklist of its own, built with it.
if(CMAKE_CROSSCOMPILING)
	find_program(MKLINKS_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH
		DOC "A C++20 compiler for the build machine, which checks tables and writes the manual pages")
	if(NOT MKLINKS_HOST_CXX)
		message(FATAL_ERROR "A cross build checks its tables and writes its manual pages with a "
			"program of the build machine: install a C++ compiler for it, or name one with "
			"-DMKLINKS_HOST_CXX=...")
	endif()
endif()

# mklinks_build_linklist(<name> [<table>]): build a linklist for the build
# machine, with the rows of a table written in C++ where one is given;
# <name>_command is how to run it and <name>_depends what a step that runs
# it depends on.
function(mklinks_build_linklist name)
	cmake_path(GET CMAKE_CURRENT_FUNCTION_LIST_DIR PARENT_PATH top)	# ours, whoever calls
	set(room ${top}/linklist)
	set(linked)
	if(ARGN)
		set(linked MKLINKS_LINKED_TABLE)
	endif()
	if(NOT CMAKE_CROSSCOMPILING)
		add_executable(${name} EXCLUDE_FROM_ALL ${room}/linklist.cpp ${ARGN})
		target_compile_definitions(${name} PRIVATE ${linked})
		target_link_libraries(${name} PRIVATE mklinks_list_build mklinks_warnings)
		set(${name}_command $<TARGET_FILE:${name}> PARENT_SCOPE)
		set(${name}_depends ${name} PARENT_SCOPE)
		return()
	endif()
	set(tool ${CMAKE_CURRENT_BINARY_DIR}/${name})
	list(TRANSFORM linked PREPEND -D)
	set(sources ${room}/linklist.cpp ${room}/list.cpp ${room}/rules.cpp ${room}/pages.cpp ${ARGN})
	add_custom_command(OUTPUT ${tool}
		COMMAND ${MKLINKS_HOST_CXX} -std=c++20 -O2 ${linked} -DMKLINKS_VERSION="${MKLINKS_VERSION}"
			-I${room} -I${top}/table -I${top}/common -o ${tool} ${sources}
		DEPENDS ${sources} ${room}/list.h ${room}/rules.h ${room}/pages.h ${top}/table/link_table.h ${top}/table/link_entry.h
			${top}/common/text.h
		VERBATIM)
	set(${name}_command ${tool} PARENT_SCOPE)
	set(${name}_depends ${tool} PARENT_SCOPE)
endfunction()

# Manual pages carry the date of the last commit, not of the build, so that
# two builds of one commit give the same bytes.
# A source archive has no history of its own (and may lie in another
# project's work tree), but git wrote the commit's time into commit-time.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/commit-time MKLINKS_EPOCH REGEX "^[0-9]+$")
if(NOT MKLINKS_EPOCH)
	execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
		OUTPUT_VARIABLE MKLINKS_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
# string(TIMESTAMP) reads the time from SOURCE_DATE_EPOCH alone, so it is
# set for that call and then put back as the parent had it.
set(had_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(MKLINKS_EPOCH)
	set(ENV{SOURCE_DATE_EPOCH} ${MKLINKS_EPOCH})
endif()
string(TIMESTAMP MKLINKS_DATE "%Y-%m-%d" UTC)
if(had_epoch STREQUAL "")
	unset(ENV{SOURCE_DATE_EPOCH})
else()
	set(ENV{SOURCE_DATE_EPOCH} "${had_epoch}")
endif()
set(MKLINKS_DATE ${MKLINKS_DATE} CACHE INTERNAL "The date the manual pages carry")
set(MKLINKS_VERSION ${PROJECT_VERSION} CACHE INTERNAL "The version the manual pages carry")

# Each program is one source file and one manual page, the same for every
# component; every component adds a page of its own for each program.
# Installed pages are compressed as distributions ship them. The general
# pages describe our own components only where this build makes them.
set(MKLINKS_TOOLS creator/mklinks remover/rmlinks checker/cklinks CACHE INTERNAL "The programs built for every component")
foreach(page IN LISTS MKLINKS_TOOLS ITEMS lister/lslinks linklist/linklist linklist/links.5)
	if(NOT page MATCHES "[.][0-9]$")
		string(APPEND page .1)
	endif()
	cmake_path(GET page FILENAME name)
	file(READ ${PROJECT_SOURCE_DIR}/${page} text)
	set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${page})
	if(NOT MKLINKS_OWN_COMPONENTS)
		string(REGEX REPLACE "\\.\\\\\" Our own components:\n.*\\.\\\\\" End of our own components\\.\n"
			"" text "${text}")
	endif()
	file(CONFIGURE OUTPUT ${name} CONTENT "${text}" @ONLY)	# rewritten only when it changes
	add_custom_command(OUTPUT ${name}.gz
		COMMAND gzip -9n -c ${name} > ${name}.gz
		DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${name})
	list(APPEND general_pages ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(mklinks_pages ALL DEPENDS ${general_pages})
list(POP_BACK general_pages links_page linklist_page lslinks_page)
set_property(GLOBAL PROPERTY MKLINKS_GENERAL_PAGES ${general_pages})

# The tools that serve every component alike: linklist, which checks lists,
# and lslinks, which writes one from a staged tree. A project that brings
# this one in can run them in its build; our own build installs them.
set(MKLINKS_ON_DEMAND)
if(NOT PROJECT_IS_TOP_LEVEL)
	set(MKLINKS_ON_DEMAND EXCLUDE_FROM_ALL)
endif()
add_subdirectory(${PROJECT_SOURCE_DIR}/linklist ${PROJECT_BINARY_DIR}/rooms/linklist)
add_subdirectory(${PROJECT_SOURCE_DIR}/lister ${PROJECT_BINARY_DIR}/rooms/lister)
# Both lie at the top of the build, where the README sends their users.
set_target_properties(lslinks linklist PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
if(PROJECT_IS_TOP_LEVEL)
	install(TARGETS lslinks linklist RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
	install(FILES ${lslinks_page} ${linklist_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
	install(FILES ${links_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
endif()

# What the programs that carry a table share: the work beneath the
# installation directory through descriptors, and their messages.
add_library(mklinks_runtime OBJECT EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/common/beneath.cpp
	${PROJECT_SOURCE_DIR}/common/say.cpp)
target_link_libraries(mklinks_runtime PRIVATE mklinks_flags)
set_target_properties(mklinks_runtime PROPERTIES CXX_EXTENSIONS OFF)

# Each program's source is compiled once, whatever the number of
# components: it reads the rows only through link_table and
# link_table_size, which each component's table defines.
foreach(tool IN LISTS MKLINKS_TOOLS)
	cmake_path(GET tool FILENAME prog)
	add_library(mklinks_${prog} OBJECT EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/${tool}.cpp)
	target_compile_definitions(mklinks_${prog} PRIVATE MKLINKS_VERSION="${PROJECT_VERSION}")
	target_link_libraries(mklinks_${prog} PRIVATE mklinks_flags)
	set_target_properties(mklinks_${prog} PROPERTIES CXX_EXTENSIONS OFF)
endforeach()

# links_component(<name> [NO_INSTALL | EXCLUDE_FROM_ALL] [TABLE <file>]
#                 [COMPONENT <install component>])
# builds <tool>-<name> for every tool with the rows of <file>, a list or a
# table written in C++ (a .cpp file), by default <name>.links in the
# directory that calls it. It checks the rows first, so that no program is
# compiled from a table that breaks a rule, and installs the programs and
# their pages, with the general pages, in the install component given.
# The remover is built from the link rows alone. Test components are
# NO_INSTALL; benchmark components are built only on demand.
function(links_component name)
	# The name goes into file names and generated sources, so it is a plain
	# file name, as a package's is.
	if(NOT name MATCHES "^[A-Za-z0-9._+-]+$" OR name MATCHES "^[.][.]?$")
		message(FATAL_ERROR "links_component(${name}): a component's name is a file name of letters, "
			"digits, '.', '_', '+' and '-'")
	endif()
	# The longest file the build names after it, its target directories
	# among them, must still fit a file name of 255 bytes.
	string(LENGTH "${name}" length)
	if(length GREATER 200)
		message(FATAL_ERROR "links_component(${name}): a component's name is at most 200 characters, "
			"so that every file named after it fits a file name; it has ${length}")
	endif()
	get_property(declared GLOBAL PROPERTY MKLINKS_COMPONENTS)
	if(name IN_LIST declared)
		message(FATAL_ERROR "links_component(${name}): a component of this name is already declared")
	endif()
	set_property(GLOBAL APPEND PROPERTY MKLINKS_COMPONENTS ${name})
	cmake_parse_arguments(PARSE_ARGV 1 arg "NO_INSTALL;EXCLUDE_FROM_ALL" "TABLE;COMPONENT" "")
	if(arg_UNPARSED_ARGUMENTS OR arg_KEYWORDS_MISSING_VALUES)
		message(FATAL_ERROR "links_component(${name}): unknown argument or missing value: "
			"${arg_UNPARSED_ARGUMENTS}${arg_KEYWORDS_MISSING_VALUES}; it takes NO_INSTALL, "
			"EXCLUDE_FROM_ALL, TABLE <file> and COMPONENT <install component>")
	endif()
	include(GNUInstallDirs)	# the caller's, which may be another project's
	set(programs ${MKLINKS_TOOLS})	# by name: mklinks, rmlinks, cklinks
	list(TRANSFORM programs REPLACE "^.*/" "")
	set(pages)	# this component's alone, whatever the caller holds
	if(NOT arg_TABLE)
		set(arg_TABLE ${name}.links)
	endif()
	# A path goes into the build's own files as it stands, where these
	# would end a word, a line or a list, or start a variable.
	string(ASCII 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 127 controls)
	if(arg_TABLE MATCHES "[${controls};\"\\$#]")
		message(FATAL_ERROR "links_component(${name}): the path of its table holds a control character "
			"or one of ; \" \\ $ #, which the build cannot carry: ${arg_TABLE}")
	endif()
	cmake_path(ABSOLUTE_PATH arg_TABLE)
	# A list the build writes itself is not there yet; any other must be.
	get_source_file_property(generated ${arg_TABLE} GENERATED)
	if(NOT EXISTS ${arg_TABLE} AND NOT generated)
		message(FATAL_ERROR "links_component(${name}): its table ${arg_TABLE} does not exist")
	endif()
	if(NOT arg_COMPONENT)
		set(arg_COMPONENT ${CMAKE_INSTALL_DEFAULT_COMPONENT_NAME})
	endif()
	if(NOT arg_COMPONENT)
		set(arg_COMPONENT Unspecified)
	endif()
	set(all)
	if(arg_EXCLUDE_FROM_ALL)
		set(all EXCLUDE_FROM_ALL)
	endif()

	# Check the rows and write the tables and pages, before anything of the
	# component is compiled.
	if(arg_TABLE MATCHES "\\.(cpp|cc|cxx|C)$")
		mklinks_build_linklist(mklinks_linklist_${name} ${arg_TABLE})
		set(writer ${mklinks_linklist_${name}_command})
		set(writer_depends ${mklinks_linklist_${name}_depends})
	else()
		set(writer ${MKLINKS_LINKLIST})
		set(writer_depends ${MKLINKS_LINKLIST_DEPENDS} ${arg_TABLE})
	endif()
	set(out ${CMAKE_CURRENT_BINARY_DIR})
	set(written ${out}/${name}.table.cpp ${out}/${name}.remover.cpp)
	foreach(prog IN LISTS programs)
		list(APPEND written ${out}/${prog}-${name}.1)
	endforeach()
	add_custom_command(OUTPUT ${written}
		COMMAND ${writer} generate ${arg_TABLE} ${name} ${MKLINKS_VERSION} ${MKLINKS_DATE} ${out} ${programs}
		DEPENDS ${writer_depends}
		COMMENT "Checking the rows of ${name} and writing its tables and pages"
		VERBATIM)
	# One target writes them, so that no two targets built side by side
	# write them at once; whatever uses them depends on it.
	add_custom_target(mklinks_${name}_tables DEPENDS ${written})
	# The full table is compiled once for the programs that carry it.
	add_library(mklinks_${name}_table OBJECT ${all} ${out}/${name}.table.cpp)
	target_link_libraries(mklinks_${name}_table PRIVATE mklinks_flags)
	add_dependencies(mklinks_${name}_table mklinks_${name}_tables)

	foreach(prog IN LISTS programs)
		if(prog STREQUAL "rmlinks")
			add_executable(${prog}-${name} ${all} ${out}/${name}.remover.cpp)
			add_dependencies(${prog}-${name} mklinks_${name}_tables)
		else()
			add_executable(${prog}-${name} ${all} $<TARGET_OBJECTS:mklinks_${name}_table>)
		endif()
		target_link_libraries(${prog}-${name} PRIVATE mklinks_${prog} mklinks_runtime mklinks_program)
		set_target_properties(${prog}-${name} PROPERTIES CXX_EXTENSIONS OFF)
		# Distributions strip the compilers' notes; so do we, for every build.
		add_custom_command(TARGET ${prog}-${name} POST_BUILD
			COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${prog}-${name}>)
		if(arg_EXCLUDE_FROM_ALL)
			continue()
		endif()
		set_property(GLOBAL APPEND PROPERTY MKLINKS_PROGRAMS ${prog}-${name})
		set(page ${out}/${prog}-${name}.1)
		add_custom_command(OUTPUT ${page}.gz
			COMMAND gzip -9nkf ${page}
			DEPENDS ${page})
		list(APPEND pages ${page}.gz)
		set_property(GLOBAL APPEND PROPERTY MKLINKS_PAGES ${page})
		if(NOT arg_NO_INSTALL)
			install(TARGETS ${prog}-${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
				COMPONENT ${arg_COMPONENT})
			install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
				COMPONENT ${arg_COMPONENT})
		endif()
	endforeach()
	if(arg_EXCLUDE_FROM_ALL)
		return()
	endif()
	# A component's programs bring its pages and the general ones with them,
	# so that installing its install component alone finds them all.
	add_custom_target(mklinks_${name}_pages ALL DEPENDS ${pages})
	add_dependencies(mklinks_${name}_pages mklinks_${name}_tables mklinks_pages)
	foreach(prog IN LISTS programs)
		add_dependencies(${prog}-${name} mklinks_${name}_pages)
	endforeach()
	# Every install component with programs gets the general pages too.
	get_property(done GLOBAL PROPERTY MKLINKS_GENERAL_PAGES_IN)
	if(NOT arg_NO_INSTALL AND NOT arg_COMPONENT IN_LIST done)
		get_property(general GLOBAL PROPERTY MKLINKS_GENERAL_PAGES)
		install(FILES ${general} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${arg_COMPONENT})
		set_property(GLOBAL APPEND PROPERTY MKLINKS_GENERAL_PAGES_IN ${arg_COMPONENT})
	endif()
endfunction()
