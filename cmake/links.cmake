# How every program is built: plain procedural C++ that needs nothing at run
# time but the C library, hardened as a distribution would build it, and
# reproducible whatever the source and build paths.
include(CheckPIESupported)
check_pie_supported()

set(LINKS_ARCH_FLAGS "" CACHE STRING "Flags that choose the programs' target, such as -m32")
option(LINKS_SANITIZE "Build the programs with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(links_program INTERFACE)
set_property(TARGET links_program PROPERTY INTERFACE_POSITION_INDEPENDENT_CODE ON)
target_include_directories(links_program INTERFACE ${PROJECT_SOURCE_DIR}/table)
target_compile_options(links_program INTERFACE ${LINKS_ARCH_FLAGS}
	$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti> -fstack-protector-strong
	-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
	-ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
target_compile_definitions(links_program INTERFACE
	$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
# The C++ and GCC runtimes are linked statically and, since the programs use
# nothing of them, contribute nothing.
target_link_options(links_program INTERFACE ${LINKS_ARCH_FLAGS}
	-static-libstdc++ -static-libgcc -Wl,--as-needed
	-Wl,-z,relro,-z,now -Wl,-z,noexecstack)
if(LINKS_SANITIZE)
	set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-sanitize=vptr
		-fno-omit-frame-pointer)
	target_compile_options(links_program INTERFACE ${sanitize})
	target_link_options(links_program INTERFACE ${sanitize})
	target_sources(links_program INTERFACE ${PROJECT_SOURCE_DIR}/tests/sanitize.cpp)
endif()

# Each program is one source file and one manual page, the same for every
# component.
set(LINKS_TOOLS creator/mklinks remover/rmlinks)
foreach(tool IN LISTS LINKS_TOOLS)
	install(FILES ${PROJECT_SOURCE_DIR}/${tool}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# links_component(<name> [NO_INSTALL | EXCLUDE_FROM_ALL] [TABLE <file>])
# builds <tool>-<name> for every tool with the rows of table/<name>.cpp, or of
# <file>. Test components are NO_INSTALL; benchmark components are built only
# on demand.
function(links_component name)
	cmake_parse_arguments(PARSE_ARGV 1 arg "NO_INSTALL;EXCLUDE_FROM_ALL" "TABLE" "")
	if(NOT arg_TABLE)
		set(arg_TABLE ${PROJECT_SOURCE_DIR}/table/${name}.cpp)
	endif()
	foreach(tool IN LISTS LINKS_TOOLS)
		cmake_path(GET tool FILENAME prog)
		if(arg_EXCLUDE_FROM_ALL)
			add_executable(${prog}-${name} EXCLUDE_FROM_ALL)
		else()
			add_executable(${prog}-${name})
			set_property(GLOBAL APPEND PROPERTY LINKS_PROGRAMS ${prog}-${name})
		endif()
		target_sources(${prog}-${name} PRIVATE ${PROJECT_SOURCE_DIR}/${tool}.cpp ${arg_TABLE})
		target_link_libraries(${prog}-${name} PRIVATE links_program)
		if(NOT arg_NO_INSTALL AND NOT arg_EXCLUDE_FROM_ALL)
			install(TARGETS ${prog}-${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
		endif()
	endforeach()
endfunction()
