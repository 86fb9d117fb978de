# How every program is built: plain procedural C++ that needs nothing at run
# time but the C library, hardened as a distribution would build it, and
# reproducible whatever the source and build paths. Another project that
# brings this one in builds its own components the same way.
set(LINKS_ARCH_FLAGS "" CACHE STRING "Flags that choose the programs' target, such as -m32")
option(LINKS_SANITIZE "Build the programs with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

# Our own code is held to these warnings; code we only build, such as a test
# framework's sources, is not.
add_library(links_warnings INTERFACE)
target_compile_options(links_warnings INTERFACE -Wall -Wextra -Werror -Wswitch)

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

# Each program is one source file and one manual page, the same for every
# component.
set(LINKS_TOOLS creator/mklinks remover/rmlinks CACHE INTERNAL "The programs built for every component")
foreach(tool IN LISTS LINKS_TOOLS)
	install(FILES ${PROJECT_SOURCE_DIR}/${tool}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# links_component(<name> [NO_INSTALL | EXCLUDE_FROM_ALL] [TABLE <file>])
# builds <tool>-<name> for every tool with the rows of table/<name>.cpp, or of
# <file>. Test components are NO_INSTALL; benchmark components are built only
# on demand.
function(links_component name)
	cmake_parse_arguments(PARSE_ARGV 1 arg "NO_INSTALL;EXCLUDE_FROM_ALL" "TABLE" "")
	cmake_path(GET CMAKE_CURRENT_FUNCTION_LIST_DIR PARENT_PATH top)
	if(NOT arg_TABLE)
		set(arg_TABLE ${top}/table/${name}.cpp)
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
		if(NOT arg_NO_INSTALL AND NOT arg_EXCLUDE_FROM_ALL)
			install(TARGETS ${prog}-${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
		endif()
	endforeach()
endfunction()
