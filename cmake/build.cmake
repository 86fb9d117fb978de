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

# How the programs' sources and their tables are compiled, and how the
# programs are linked. The lists serve both the targets here and the
# commands that build a component's programs, so both build alike.
set(mklinks_defines _FILE_OFFSET_BITS=64)
set(mklinks_optimised_defines _FORTIFY_SOURCE=2)
set(mklinks_optimised Release,RelWithDebInfo,MinSizeRel)
set(mklinks_options ${MKLINKS_ARCH_FLAGS} -fPIE -fstack-protector-strong
	-ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
set(mklinks_cxx_options -fno-exceptions -fno-rtti)
set(mklinks_warning_options -Wall -Wextra -Wswitch $<$<BOOL:${MKLINKS_WERROR}>:-Werror>)
# The C++ and GCC runtimes are linked statically and, since the programs use
# nothing of them, contribute nothing.
set(mklinks_link_options ${MKLINKS_ARCH_FLAGS} -pie -static-libstdc++ -static-libgcc -Wl,--as-needed
	-Wl,-z,relro,-z,now -Wl,-z,noexecstack)
if(MKLINKS_SANITIZE)
	set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-sanitize=vptr
		-fno-omit-frame-pointer)
	list(APPEND mklinks_options ${sanitize})
	list(APPEND mklinks_link_options ${sanitize})
endif()

# Our own code is held to these warnings; code we only build, such as a test
# framework's sources, is not.
add_library(mklinks_warnings INTERFACE)
target_compile_options(mklinks_warnings INTERFACE ${mklinks_warning_options})
add_library(mklinks_flags INTERFACE)
target_link_libraries(mklinks_flags INTERFACE mklinks_warnings)
target_include_directories(mklinks_flags INTERFACE ${PROJECT_SOURCE_DIR}/common)
target_compile_features(mklinks_flags INTERFACE cxx_std_20)
target_compile_options(mklinks_flags INTERFACE ${mklinks_options}
	"$<$<COMPILE_LANGUAGE:CXX>:${mklinks_cxx_options}>")
# 64-bit file offsets let a 32-bit program handle files of any size.
target_compile_definitions(mklinks_flags INTERFACE ${mklinks_defines}
	"$<$<CONFIG:${mklinks_optimised}>:${mklinks_optimised_defines}>")
add_library(mklinks_program INTERFACE)
target_link_libraries(mklinks_program INTERFACE mklinks_flags)
target_link_options(mklinks_program INTERFACE ${mklinks_link_options})
if(MKLINKS_SANITIZE)
	# Compiled once, like the programs' own sources.
	add_library(mklinks_sanitize OBJECT EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/cmake/sanitize.cpp)
	target_link_libraries(mklinks_sanitize PRIVATE mklinks_flags)
	set_target_properties(mklinks_sanitize PROPERTIES INTERPROCEDURAL_OPTIMIZATION OFF)
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
	set(linked)
	if(ARGN)
		set(linked MKLINKS_LINKED_TABLE)
	endif()
	if(NOT CMAKE_CROSSCOMPILING)
		add_executable(${name} EXCLUDE_FROM_ALL ${top}/linklist/linklist.cpp ${top}/linklist/pages.cpp ${ARGN})
		target_compile_definitions(${name} PRIVATE ${linked} MKLINKS_VERSION="${MKLINKS_VERSION}")
		target_include_directories(${name} PRIVATE ${top}/compat)
		target_link_libraries(${name} PRIVATE mklinks_list_build mklinks_warnings)
		set(${name}_command $<TARGET_FILE:${name}> PARENT_SCOPE)
		set(${name}_depends ${name} PARENT_SCOPE)
		return()
	endif()
	set(tool ${CMAKE_CURRENT_BINARY_DIR}/${name})
	list(TRANSFORM linked PREPEND -D)
	set(sources ${top}/linklist/linklist.cpp ${top}/linklist/pages.cpp ${top}/lists/list.cpp ${top}/lists/rules.cpp
		${top}/lists/caps.cpp ${ARGN})
	file(GLOB headers ${top}/linklist/*.h ${top}/lists/*.h ${top}/common/*.h ${top}/compat/*.h)
	add_custom_command(OUTPUT ${tool}
		COMMAND ${MKLINKS_HOST_CXX} -std=c++20 -O2 ${linked} -DMKLINKS_VERSION="${MKLINKS_VERSION}"
			-I${top}/linklist -I${top}/lists -I${top}/common -I${top}/compat -o ${tool} ${sources}
		DEPENDS ${sources} ${headers}
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
set(MKLINKS_TOOLS mklinks rmlinks cklinks CACHE INTERNAL "The programs built for every component")

# mklinks_general_page(<room>/<page>): the page of a room, configured with
# the version and date and compressed; MKLINKS_PAGE_<page> names what is
# installed.
function(mklinks_general_page source)
	cmake_path(GET source FILENAME name)
	file(READ ${PROJECT_SOURCE_DIR}/${source} text)
	set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${source})
	if(NOT MKLINKS_OWN_COMPONENTS)
		string(REGEX REPLACE "\\.\\\\\" Our own components:\n.*\\.\\\\\" End of our own components\\.\n"
			"" text "${text}")
	endif()
	file(CONFIGURE OUTPUT ${name} CONTENT "${text}" @ONLY)	# rewritten only when it changes
	add_custom_command(OUTPUT ${name}.gz
		COMMAND gzip -9n -c ${name} > ${name}.gz
		DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${name})
	set(MKLINKS_PAGE_${name} ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz PARENT_SCOPE)
endfunction()
foreach(prog IN LISTS MKLINKS_TOOLS)
	mklinks_general_page(${prog}/${prog}.1)
	list(APPEND general_pages ${MKLINKS_PAGE_${prog}.1})
endforeach()
mklinks_general_page(lslinks/lslinks.1)
mklinks_general_page(linklist/linklist.1)
mklinks_general_page(lists/links.5)
add_custom_target(mklinks_pages ALL DEPENDS ${general_pages} ${MKLINKS_PAGE_lslinks.1} ${MKLINKS_PAGE_linklist.1}
	${MKLINKS_PAGE_links.5})
set_property(GLOBAL PROPERTY MKLINKS_GENERAL_PAGES ${general_pages})

# The tools that serve every component alike: linklist, which checks lists,
# and lslinks, which writes one from a staged tree. A project that brings
# this one in can run them in its build; our own build installs them.
set(MKLINKS_ON_DEMAND)
if(NOT PROJECT_IS_TOP_LEVEL)
	set(MKLINKS_ON_DEMAND EXCLUDE_FROM_ALL)
endif()
add_subdirectory(${PROJECT_SOURCE_DIR}/lists ${PROJECT_BINARY_DIR}/rooms/lists)
add_subdirectory(${PROJECT_SOURCE_DIR}/linklist ${PROJECT_BINARY_DIR}/rooms/linklist)
add_subdirectory(${PROJECT_SOURCE_DIR}/lslinks ${PROJECT_BINARY_DIR}/rooms/lslinks)
# Both lie at the top of the build, where the README sends their users.
set_target_properties(lslinks linklist PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
if(PROJECT_IS_TOP_LEVEL)
	install(TARGETS lslinks linklist RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
	install(FILES ${MKLINKS_PAGE_lslinks.1} ${MKLINKS_PAGE_linklist.1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
	install(FILES ${MKLINKS_PAGE_links.5} DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
endif()

# What the programs that carry a table share: the work beneath the
# installation directory through descriptors, and their messages.
add_library(mklinks_runtime OBJECT EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/common/beneath.cpp
	${PROJECT_SOURCE_DIR}/common/say.cpp ${PROJECT_SOURCE_DIR}/common/owner.cpp)
target_link_libraries(mklinks_runtime PRIVATE mklinks_flags)
set_target_properties(mklinks_runtime PROPERTIES CXX_EXTENSIONS OFF)

# Each program's source is compiled once, whatever the number of
# components: it reads the rows only through link_table and
# link_table_size, which each component's table defines.
foreach(prog IN LISTS MKLINKS_TOOLS)
	add_library(mklinks_${prog} OBJECT EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/${prog}/${prog}.cpp)
	target_compile_definitions(mklinks_${prog} PRIVATE MKLINKS_VERSION="${PROJECT_VERSION}")
	target_link_libraries(mklinks_${prog} PRIVATE mklinks_flags)
	set_target_properties(mklinks_${prog} PROPERTIES CXX_EXTENSIONS OFF)
endforeach()

# A component in the default build has its programs compiled and linked by
# a command of its own rather than by targets (links_component.cmake says
# why), with the same flags and objects as the targets here and the
# compiler's own rules. Objects meant for link-time optimisation could not
# be linked that way, so they are plain objects whatever the parent asks.
set_target_properties(mklinks_runtime mklinks_mklinks mklinks_rmlinks mklinks_cklinks PROPERTIES
	INTERPROCEDURAL_OPTIMIZATION OFF)
list(TRANSFORM mklinks_defines PREPEND -D OUTPUT_VARIABLE defines)
list(TRANSFORM mklinks_optimised_defines REPLACE "(.+)" "$<$<CONFIG:${mklinks_optimised}>:-D\\1>"
	OUTPUT_VARIABLE optimised)
set_property(GLOBAL PROPERTY MKLINKS_TABLE_DEFINES ${defines} ${optimised})
set_property(GLOBAL PROPERTY MKLINKS_TABLE_INCLUDES -I${PROJECT_SOURCE_DIR}/common)
set_property(GLOBAL PROPERTY MKLINKS_TABLE_OPTIONS ${mklinks_options} ${mklinks_cxx_options}
	${mklinks_warning_options} ${CMAKE_CXX20_STANDARD_COMPILE_OPTION})
set_property(GLOBAL PROPERTY MKLINKS_LINK_OPTIONS ${mklinks_link_options})
set(shared $<TARGET_OBJECTS:mklinks_runtime>)
if(MKLINKS_SANITIZE)
	list(APPEND shared $<TARGET_OBJECTS:mklinks_sanitize>)
endif()
set_property(GLOBAL PROPERTY MKLINKS_SHARED_OBJECTS ${shared})
file(GLOB headers ${PROJECT_SOURCE_DIR}/common/*.h)
set_property(GLOBAL PROPERTY MKLINKS_TABLE_HEADERS ${headers})

include(${CMAKE_CURRENT_LIST_DIR}/links_component.cmake)
