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
# In the default build, the target mklinks_components (mklinks_components_2
# and on in further directories) builds every component of the directory,
# and each program's name is an imported target that depends on it; a
# component built only on demand is three targets named after its programs.
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

	if(arg_TABLE MATCHES "\\.(cpp|cc|cxx|C)$")
		mklinks_build_linklist(mklinks_linklist_${name} ${arg_TABLE})
		set(writer ${mklinks_linklist_${name}_command})
		set(writer_depends ${mklinks_linklist_${name}_depends})
	else()
		set(writer ${MKLINKS_LINKLIST})
		set(writer_depends ${MKLINKS_LINKLIST_DEPENDS} ${arg_TABLE})
	endif()
	set(out ${CMAKE_CURRENT_BINARY_DIR})
	set(zipped)
	foreach(prog IN LISTS programs)
		list(APPEND pages ${out}/${prog}-${name}.1)
		list(APPEND zipped ${out}/${prog}-${name}.1.gz)
	endforeach()
	set(generate
		COMMAND ${writer} generate ${arg_TABLE} ${name} ${MKLINKS_VERSION} ${MKLINKS_DATE} ${out} ${programs}
		COMMAND gzip -9nkf ${pages})
	# A component built only on demand costs a build nothing until one of
	# its programs is asked for, so it is three targets named after them:
	# mklinks-NAME runs the command, the others follow it, and each compiles
	# the table it carries itself.
	if(arg_EXCLUDE_FROM_ALL)
		add_custom_command(OUTPUT ${out}/${name}.table.cpp ${out}/${name}.remover.cpp
			BYPRODUCTS ${pages} ${zipped}
			${generate}
			DEPENDS ${writer_depends}
			COMMENT "Checking the rows of ${name} and writing its tables and pages"
			VERBATIM)
		set(first)
		foreach(prog IN LISTS programs)
			set(target ${prog}-${name})
			if(prog STREQUAL "rmlinks")
				add_executable(${target} EXCLUDE_FROM_ALL ${out}/${name}.remover.cpp)
			else()
				add_executable(${target} EXCLUDE_FROM_ALL ${out}/${name}.table.cpp)
			endif()
			if(first)
				add_dependencies(${target} ${first})
			else()
				set(first ${target})
			endif()
			target_link_libraries(${target} PRIVATE mklinks_${prog} mklinks_runtime mklinks_program)
			set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
			add_custom_command(TARGET ${target} POST_BUILD
				COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${target}>)
		endforeach()
		return()
	endif()

	# Every target costs a parent's build, Make's most of all, and even when
	# there is nothing to do: 50 ms, where a component's whole build takes
	# half a second. So a component in the default build is no target at
	# all: one command checks its rows, writes its tables and pages, and
	# compiles and links its programs, and one target serves every such
	# component of the directory. Its programs' names are imported targets
	# that depend on it, so that a parent can still name them in a
	# dependency or ask for the file of one.
	get_property(shared DIRECTORY PROPERTY MKLINKS_COMPONENTS_TARGET)
	if(NOT shared)
		get_property(before GLOBAL PROPERTY MKLINKS_COMPONENTS_TARGETS)
		list(LENGTH before count)
		set(shared mklinks_components)
		if(count)
			math(EXPR count "${count} + 1")
			set(shared mklinks_components_${count})
		endif()
		set_property(GLOBAL APPEND PROPERTY MKLINKS_COMPONENTS_TARGETS ${shared})
		set_property(DIRECTORY PROPERTY MKLINKS_COMPONENTS_TARGET ${shared})
		add_custom_target(${shared} ALL)
		# The general pages come with the programs, so that installing the
		# install component alone finds them all; the objects every
		# program is linked from come before.
		list(TRANSFORM programs PREPEND mklinks_ OUTPUT_VARIABLE libraries)
		if(TARGET mklinks_sanitize)
			list(APPEND libraries mklinks_sanitize)
		endif()
		add_dependencies(${shared} mklinks_pages mklinks_runtime ${libraries})
	endif()
	set(bin ${out})
	if(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
		set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
	endif()
	# A build of several configurations keeps each one's objects apart.
	set(objects_dir ${out})
	get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
	if(multi_config)
		string(APPEND bin /$<CONFIG>)
		set(objects_dir ${out}/$<CONFIG>)
	endif()
	set(table ${objects_dir}/${name}.table.o)
	set(remover ${objects_dir}/${name}.remover.o)
	mklinks_command(compile_table COMPILE ${out}/${name}.table.cpp ${table})
	mklinks_command(compile_remover COMPILE ${out}/${name}.remover.cpp ${remover})
	set(build ${generate})
	if(NOT bin STREQUAL out)
		list(APPEND build COMMAND ${CMAKE_COMMAND} -E make_directory ${bin} ${objects_dir})
	endif()
	list(APPEND build COMMAND ${compile_table} COMMAND ${compile_remover})
	set(made)
	get_property(shared_objects GLOBAL PROPERTY MKLINKS_SHARED_OBJECTS)
	set(objects ${shared_objects})
	foreach(prog IN LISTS programs)
		set(target ${prog}-${name})
		set(carried ${table})
		if(prog STREQUAL "rmlinks")
			set(carried ${remover})
		endif()
		mklinks_command(link LINK ${bin}/${target} ${carried} $<TARGET_OBJECTS:mklinks_${prog}> ${shared_objects})
		# Distributions strip the compilers' notes; so do we, for every build.
		list(APPEND build COMMAND ${link} COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment ${bin}/${target})
		list(APPEND made ${bin}/${target})
		list(APPEND objects $<TARGET_OBJECTS:mklinks_${prog}>)
	endforeach()
	get_property(headers GLOBAL PROPERTY MKLINKS_TABLE_HEADERS)
	# Make touches every further output of a command with a process of its
	# own, so the first program is the output and the rest come with it.
	list(POP_FRONT made first)
	add_custom_command(OUTPUT ${first}
		BYPRODUCTS ${made} ${out}/${name}.table.cpp ${out}/${name}.remover.cpp ${table} ${remover} ${pages}
			${zipped}
		${build}
		DEPENDS ${writer_depends} ${objects} ${headers}
		COMMENT "Checking the rows of ${name} and building its programs and pages"
		COMMAND_EXPAND_LISTS VERBATIM)
	target_sources(${shared} PRIVATE ${first})
	foreach(prog IN LISTS programs)
		set(target ${prog}-${name})
		add_executable(${target} IMPORTED GLOBAL)
		if(multi_config)
			foreach(config IN LISTS CMAKE_CONFIGURATION_TYPES)
				string(TOUPPER ${config} upper)
				string(REPLACE $<CONFIG> ${config} file ${bin}/${target})
				set_target_properties(${target} PROPERTIES IMPORTED_LOCATION_${upper} ${file})
			endforeach()
		else()
			set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${bin}/${target})
		endif()
		add_dependencies(${target} ${shared})
		set_property(GLOBAL APPEND PROPERTY MKLINKS_PROGRAMS ${target})
		set_property(GLOBAL APPEND PROPERTY MKLINKS_PAGES ${out}/${target}.1)
		if(NOT arg_NO_INSTALL)
			install(PROGRAMS ${bin}/${target} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${arg_COMPONENT})
			# Stripped when the install strips, as a target would be.
			set(file "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target}")
			if(IS_ABSOLUTE ${CMAKE_INSTALL_BINDIR})
				set(file "\$ENV{DESTDIR}${CMAKE_INSTALL_BINDIR}/${target}")
			endif()
			if(CMAKE_STRIP)
				install(CODE "if(CMAKE_INSTALL_DO_STRIP)
	execute_process(COMMAND \"${CMAKE_STRIP}\" \"${file}\" COMMAND_ERROR_IS_FATAL ANY)
endif()" COMPONENT ${arg_COMPONENT})
			endif()
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

# mklinks_rule(<var> <rule>): the words of one of the compiler's rules, such
# as CMAKE_CXX_LINK_EXECUTABLE, each <PLACEHOLDER> filled from the caller's
# fill_PLACEHOLDER. A placeholder left unfilled would reach the shell, so it
# stops configuring instead.
function(mklinks_rule var rule)
	separate_arguments(words UNIX_COMMAND "${rule}")
	set(command)
	foreach(word IN LISTS words)
		set(placeholder)
		if(word MATCHES "^<([A-Z0-9_]+)>$")
			set(placeholder fill_${CMAKE_MATCH_1})
		endif()
		if(placeholder AND DEFINED ${placeholder})
			list(APPEND command ${${placeholder}})
		elseif(word MATCHES "<[A-Z0-9_]+>")
			message(FATAL_ERROR "links_component: the compiler's rule \"${rule}\" holds ${CMAKE_MATCH_0}, "
				"which this build cannot fill")
		else()
			list(APPEND command ${word})
		endif()
	endforeach()
	set(${var} ${command} PARENT_SCOPE)
endfunction()

# mklinks_build_type_flags(<var> <name>): CMAKE_<name>_FLAGS and those of
# the build type, which a multi-configuration build chooses as it runs.
function(mklinks_build_type_flags var name)
	separate_arguments(flags UNIX_COMMAND "${CMAKE_${name}_FLAGS}")
	get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
	if(NOT multi_config)
		string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
		separate_arguments(words UNIX_COMMAND "${CMAKE_${name}_FLAGS_${config}}")
		set(${var} ${flags} ${words} PARENT_SCOPE)
		return()
	endif()
	foreach(config IN LISTS CMAKE_CONFIGURATION_TYPES)
		string(TOUPPER ${config} upper)
		separate_arguments(words UNIX_COMMAND "${CMAKE_${name}_FLAGS_${upper}}")
		list(TRANSFORM words REPLACE "(.+)" "$<$<CONFIG:${config}>:\\1>")
		list(APPEND flags ${words})
	endforeach()
	set(${var} ${flags} PARENT_SCOPE)
endfunction()

# mklinks_compiler_flags(<var> <COMPILE|LINK>): what the caller's directory
# gives every command that runs the compiler: its target and system root,
# and CMAKE_CXX_FLAGS with those of the build type.
function(mklinks_compiler_flags var step)
	set(flags)
	if(CMAKE_CXX_COMPILER_TARGET AND CMAKE_CXX_COMPILE_OPTIONS_TARGET)
		list(APPEND flags "${CMAKE_CXX_COMPILE_OPTIONS_TARGET}${CMAKE_CXX_COMPILER_TARGET}")
	endif()
	if(CMAKE_CXX_COMPILER_EXTERNAL_TOOLCHAIN AND CMAKE_CXX_COMPILE_OPTIONS_EXTERNAL_TOOLCHAIN)
		list(APPEND flags "${CMAKE_CXX_COMPILE_OPTIONS_EXTERNAL_TOOLCHAIN}${CMAKE_CXX_COMPILER_EXTERNAL_TOOLCHAIN}")
	endif()
	set(sysroot ${CMAKE_SYSROOT})
	if(CMAKE_SYSROOT_${step})
		set(sysroot ${CMAKE_SYSROOT_${step}})
	endif()
	if(sysroot AND CMAKE_CXX_COMPILE_OPTIONS_SYSROOT)
		list(APPEND flags "${CMAKE_CXX_COMPILE_OPTIONS_SYSROOT}${sysroot}")
	endif()
	mklinks_build_type_flags(words CXX)
	set(${var} ${flags} ${words} PARENT_SCOPE)
endfunction()

# mklinks_command(<var> COMPILE <source> <object>) or
# mklinks_command(<var> LINK <program> <object>...): the command that
# compiles a component's table, or links one of its programs, as a target
# would be built: by the compiler's own rule, with what the caller's
# directory gives every such command and the flags of the programs' own.
function(mklinks_command var step)
	separate_arguments(fill_CMAKE_CXX_COMPILER UNIX_COMMAND "${CMAKE_CXX_COMPILER_ARG1}")
	list(PREPEND fill_CMAKE_CXX_COMPILER ${CMAKE_CXX_COMPILER})
	mklinks_compiler_flags(fill_FLAGS ${step})
	if(step STREQUAL "COMPILE")
		get_property(fill_DEFINES GLOBAL PROPERTY MKLINKS_TABLE_DEFINES)
		get_property(fill_INCLUDES GLOBAL PROPERTY MKLINKS_TABLE_INCLUDES)
		get_property(options GLOBAL PROPERTY MKLINKS_TABLE_OPTIONS)
		list(APPEND fill_FLAGS ${options})
		set(fill_SOURCE ${ARGV2})
		set(fill_OBJECT ${ARGV3})
		set(rule ${CMAKE_CXX_COMPILE_OBJECT})
		set(launcher ${CMAKE_CXX_COMPILER_LAUNCHER})
	else()
		separate_arguments(fill_CMAKE_CXX_LINK_FLAGS UNIX_COMMAND "${CMAKE_CXX_LINK_FLAGS}")
		mklinks_build_type_flags(fill_LINK_FLAGS EXE_LINKER)
		get_property(options GLOBAL PROPERTY MKLINKS_LINK_OPTIONS)
		list(APPEND fill_LINK_FLAGS ${options})
		set(fill_TARGET ${ARGV2})
		list(SUBLIST ARGN 1 -1 fill_OBJECTS)
		set(fill_LINK_LIBRARIES "")
		set(rule ${CMAKE_CXX_LINK_EXECUTABLE})
		set(launcher ${CMAKE_CXX_LINKER_LAUNCHER})
	endif()
	mklinks_rule(command "${rule}")
	set(${var} ${launcher} ${command} PARENT_SCOPE)
endfunction()
