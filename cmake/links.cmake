# How every program is built: plain procedural C++ that needs nothing at run
# time but the C library, hardened as a distribution would build it, and
# reproducible whatever the source and build paths. Another project that
# brings this one in builds its own components the same way.
set(LINKS_ARCH_FLAGS "" CACHE STRING "Flags that choose the programs' target, such as -m32")
option(LINKS_SANITIZE "Build the programs with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
# A newer compiler's new warning must not break the build of a project that
# merely brings this one in, so only our own builds turn warnings into errors.
option(MKLINKS_WERROR "Treat warnings as errors in the programs and their tables" ${PROJECT_IS_TOP_LEVEL})

# Our own code is held to these warnings; code we only build, such as a test
# framework's sources, is not.
add_library(links_warnings INTERFACE)
target_compile_options(links_warnings INTERFACE -Wall -Wextra -Wswitch $<$<BOOL:${MKLINKS_WERROR}>:-Werror>)

add_library(links_program INTERFACE)
target_link_libraries(links_program INTERFACE links_warnings)
target_include_directories(links_program INTERFACE ${PROJECT_SOURCE_DIR}/table)
target_compile_features(links_program INTERFACE cxx_std_20)
target_compile_options(links_program INTERFACE ${LINKS_ARCH_FLAGS} -fPIE
	$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti> -fstack-protector-strong
	-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
	-ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
# 64-bit file offsets let a 32-bit program handle files of any size.
target_compile_definitions(links_program INTERFACE _FILE_OFFSET_BITS=64
	$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
# The C++ and GCC runtimes are linked statically and, since the programs use
# nothing of them, contribute nothing.
target_link_options(links_program INTERFACE ${LINKS_ARCH_FLAGS} -pie
	-static-libstdc++ -static-libgcc -Wl,--as-needed
	-Wl,-z,relro,-z,now -Wl,-z,noexecstack)
if(LINKS_SANITIZE)
	set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-sanitize=vptr
		-fno-omit-frame-pointer)
	target_compile_options(links_program INTERFACE ${sanitize})
	target_link_options(links_program INTERFACE ${sanitize})
	target_sources(links_program INTERFACE ${PROJECT_SOURCE_DIR}/cmake/sanitize.cpp)
endif()
get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(NOT CMAKE_BUILD_TYPE AND NOT multi_config)
	message(WARNING "No CMAKE_BUILD_TYPE is set, so the link programs are not fortified: "
		"_FORTIFY_SOURCE needs an optimised build. Set CMAKE_BUILD_TYPE to Release, "
		"RelWithDebInfo or MinSizeRel for programs to deliver.")
endif()

# A cross build writes the manual pages with a program of the build machine.
if(CMAKE_CROSSCOMPILING)
	find_program(LINKS_HOST_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH
		DOC "A C++20 compiler for the build machine, which writes the manual pages")
	if(NOT LINKS_HOST_CXX)
		message(FATAL_ERROR "A cross build writes its manual pages with a program of the build "
			"machine: install a C++ compiler for it, or name one with -DLINKS_HOST_CXX=...")
	endif()
endif()

# Manual pages carry the date of the last commit, not of the build, so that
# two builds of one commit give the same bytes.
# A source archive has no history of its own (and may lie in another
# project's work tree), but git wrote the commit's time into commit-time.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/commit-time LINKS_EPOCH REGEX "^[0-9]+$")
if(NOT LINKS_EPOCH)
	execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
		OUTPUT_VARIABLE LINKS_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(LINKS_EPOCH)
	set(ENV{SOURCE_DATE_EPOCH} ${LINKS_EPOCH})
endif()
string(TIMESTAMP LINKS_DATE "%Y-%m-%d" UTC)
set(LINKS_DATE ${LINKS_DATE} CACHE INTERNAL "The date the manual pages carry")
set(LINKS_VERSION ${PROJECT_VERSION} CACHE INTERNAL "The version the manual pages carry")

# Each program is one source file and one manual page, the same for every
# component; every component adds a page of its own for each program.
# Installed pages are compressed as distributions ship them. The general
# pages describe our own components only where this build makes them.
set(LINKS_TOOLS creator/mklinks remover/rmlinks checker/cklinks CACHE INTERNAL "The programs built for every component")
foreach(tool IN LISTS LINKS_TOOLS)
	cmake_path(GET tool FILENAME prog)
	file(READ ${PROJECT_SOURCE_DIR}/${tool}.1 page)
	set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${tool}.1)
	if(NOT MKLINKS_OWN_COMPONENTS)
		string(REGEX REPLACE "\\.\\\\\" Our own components:\n.*\\.\\\\\" End of our own components\\.\n"
			"" page "${page}")
	endif()
	file(CONFIGURE OUTPUT ${prog}.1 CONTENT "${page}" @ONLY)	# rewritten only when it changes
	add_custom_command(OUTPUT ${prog}.1.gz
		COMMAND gzip -9n -c ${prog}.1 > ${prog}.1.gz
		DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${prog}.1)
	list(APPEND general_pages ${CMAKE_CURRENT_BINARY_DIR}/${prog}.1.gz)
endforeach()
add_custom_target(links_pages ALL DEPENDS ${general_pages})
set_property(GLOBAL PROPERTY LINKS_GENERAL_PAGES ${general_pages})

# links_component(<name> [NO_INSTALL | EXCLUDE_FROM_ALL] [TABLE <file>]
#                 [COMPONENT <install component>])
# builds <tool>-<name> for every tool with the rows of table/<name>.cpp, or of
# <file>, and installs the programs and their pages, with the general pages,
# in the install component given. Test components are NO_INSTALL; benchmark
# components are built only on demand.
function(links_component name)
	cmake_parse_arguments(PARSE_ARGV 1 arg "NO_INSTALL;EXCLUDE_FROM_ALL" "TABLE;COMPONENT" "")
	if(arg_UNPARSED_ARGUMENTS OR arg_KEYWORDS_MISSING_VALUES)
		message(FATAL_ERROR "links_component(${name}): unknown argument or missing value: "
			"${arg_UNPARSED_ARGUMENTS}${arg_KEYWORDS_MISSING_VALUES}; it takes NO_INSTALL, "
			"EXCLUDE_FROM_ALL, TABLE <file> and COMPONENT <install component>")
	endif()
	include(GNUInstallDirs)	# the caller's, which may be another project's
	cmake_path(GET CMAKE_CURRENT_FUNCTION_LIST_DIR PARENT_PATH top)
	set(pages)	# this component's alone, whatever the caller holds
	if(NOT arg_TABLE)
		set(arg_TABLE ${top}/table/${name}.cpp)
	endif()
	if(NOT arg_COMPONENT)
		set(arg_COMPONENT ${CMAKE_INSTALL_DEFAULT_COMPONENT_NAME})
	endif()
	if(NOT arg_COMPONENT)
		set(arg_COMPONENT Unspecified)
	endif()
	# The page writer runs on the build machine, whatever the programs'
	# target: a cross build compiles it with the build machine's compiler.
	if(CMAKE_CROSSCOMPILING)
		set(writer ${CMAKE_CURRENT_BINARY_DIR}/manpage-${name})
		add_custom_command(OUTPUT ${writer}
			COMMAND ${LINKS_HOST_CXX} -std=c++20 -I${top}/table -o ${writer}
				${top}/tools/manpage.cpp ${arg_TABLE}
			DEPENDS ${top}/tools/manpage.cpp ${top}/table/link_table.h ${arg_TABLE})
	else()
		set(writer manpage-${name})
		add_executable(${writer} EXCLUDE_FROM_ALL ${top}/tools/manpage.cpp ${arg_TABLE})
		target_include_directories(${writer} PRIVATE ${top}/table)
		target_link_libraries(${writer} PRIVATE links_warnings)
		target_compile_features(${writer} PRIVATE cxx_std_20)
	endif()
	foreach(tool IN LISTS LINKS_TOOLS)
		cmake_path(GET tool FILENAME prog)
		if(arg_EXCLUDE_FROM_ALL)
			add_executable(${prog}-${name} EXCLUDE_FROM_ALL)
		else()
			add_executable(${prog}-${name})
			set_property(GLOBAL APPEND PROPERTY LINKS_PROGRAMS ${prog}-${name})
		endif()
		target_sources(${prog}-${name} PRIVATE ${top}/${tool}.cpp ${arg_TABLE})
		target_link_libraries(${prog}-${name} PRIVATE links_program)
		set_target_properties(${prog}-${name} PROPERTIES CXX_EXTENSIONS OFF)
		# Distributions strip the compilers' notes; so do we, for every build.
		add_custom_command(TARGET ${prog}-${name} POST_BUILD
			COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${prog}-${name}>)
		if(arg_EXCLUDE_FROM_ALL)
			continue()
		endif()
		set(page ${CMAKE_CURRENT_BINARY_DIR}/${prog}-${name}.1)
		add_custom_command(OUTPUT ${page}.gz
			COMMAND ${writer} ${prog} ${name} ${LINKS_VERSION} ${LINKS_DATE} ${page}
			COMMAND gzip -9nkf ${page}
			DEPENDS ${writer})
		list(APPEND pages ${page}.gz)
		set_property(GLOBAL APPEND PROPERTY LINKS_PAGES ${page})
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
	add_custom_target(pages-${name} ALL DEPENDS ${pages})
	# Every install component with programs gets the general pages too.
	get_property(done GLOBAL PROPERTY LINKS_GENERAL_PAGES_IN)
	if(NOT arg_NO_INSTALL AND NOT arg_COMPONENT IN_LIST done)
		get_property(general GLOBAL PROPERTY LINKS_GENERAL_PAGES)
		install(FILES ${general} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${arg_COMPONENT})
		set_property(GLOBAL APPEND PROPERTY LINKS_GENERAL_PAGES_IN ${arg_COMPONENT})
	endif()
endfunction()
