# The one function another project calls: links_component declares a
# component, built the way cmake/build.cmake builds every program.

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
	set(programs ${MKLINKS_TOOLS})	# mklinks, rmlinks, cklinks
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

	if(arg_TABLE MATCHES "\\.(cpp|cc|cxx|C)$")
		mklinks_build_linklist(mklinks_linklist_${name} ${arg_TABLE})
		set(writer ${mklinks_linklist_${name}_command})
		set(writer_depends ${mklinks_linklist_${name}_depends})
	else()
		set(writer ${MKLINKS_LINKLIST})
		set(writer_depends ${MKLINKS_LINKLIST_DEPENDS} ${arg_TABLE})
	endif()
	# One command checks the rows and writes the tables and the pages, each
	# page compressed as it is installed, before anything of the component
	# is compiled. A component is its three programs and nothing else, since
	# every target costs a parent's build, Make's most of all, even when
	# there is nothing to do: mklinks-NAME runs the command, the others
	# follow it, and each compiles the table it carries itself.
	set(out ${CMAKE_CURRENT_BINARY_DIR})
	set(pages)
	set(zipped)
	foreach(prog IN LISTS programs)
		list(APPEND pages ${out}/${prog}-${name}.1)
		list(APPEND zipped ${out}/${prog}-${name}.1.gz)
	endforeach()
	# The pages are its byproducts, which Make need not touch one by one.
	add_custom_command(OUTPUT ${out}/${name}.table.cpp ${out}/${name}.remover.cpp
		BYPRODUCTS ${pages} ${zipped}
		COMMAND ${writer} generate ${arg_TABLE} ${name} ${MKLINKS_VERSION} ${MKLINKS_DATE} ${out} ${programs}
		COMMAND gzip -9nkf ${pages}
		DEPENDS ${writer_depends}
		COMMENT "Checking the rows of ${name} and writing its tables and pages"
		VERBATIM)
	set(first)
	foreach(prog IN LISTS programs)
		set(target ${prog}-${name})
		if(prog STREQUAL "rmlinks")
			add_executable(${target} ${all} ${out}/${name}.remover.cpp)
		else()
			add_executable(${target} ${all} ${out}/${name}.table.cpp)
		endif()
		if(first)
			add_dependencies(${target} ${first})
		else()
			# The pages come with the programs, so that installing the
			# install component alone finds them all.
			set(first ${target})
			add_dependencies(${target} mklinks_pages)
		endif()
		target_link_libraries(${target} PRIVATE mklinks_${prog} mklinks_runtime mklinks_program)
		set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
		# Distributions strip the compilers' notes; so do we, for every build.
		add_custom_command(TARGET ${target} POST_BUILD
			COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${target}>)
		if(arg_EXCLUDE_FROM_ALL)
			continue()
		endif()
		set_property(GLOBAL APPEND PROPERTY MKLINKS_PROGRAMS ${target})
		set_property(GLOBAL APPEND PROPERTY MKLINKS_PAGES ${out}/${target}.1)
		if(NOT arg_NO_INSTALL)
			install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${arg_COMPONENT})
			install(FILES ${out}/${target}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
				COMPONENT ${arg_COMPONENT})
		endif()
	endforeach()
	if(arg_EXCLUDE_FROM_ALL)
		return()
	endif()
	# Every install component with programs gets the general pages too.
	get_property(done GLOBAL PROPERTY MKLINKS_GENERAL_PAGES_IN)
	if(NOT arg_NO_INSTALL AND NOT arg_COMPONENT IN_LIST done)
		get_property(general GLOBAL PROPERTY MKLINKS_GENERAL_PAGES)
		install(FILES ${general} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${arg_COMPONENT})
		set_property(GLOBAL APPEND PROPERTY MKLINKS_GENERAL_PAGES_IN ${arg_COMPONENT})
	endif()
endfunction()
