# How every program is built: plain procedural C++ that needs nothing at run
# time but the C library.
add_library(links_program INTERFACE)
target_include_directories(links_program INTERFACE ${PROJECT_SOURCE_DIR}/table)
target_compile_options(links_program INTERFACE -fno-exceptions -fno-rtti)
# The C++ and GCC runtimes are linked statically and, since the programs use
# nothing of them, contribute nothing.
target_link_options(links_program INTERFACE -static-libstdc++ -static-libgcc -Wl,--as-needed)

# Each program is one source file, the same for every component.
set(LINKS_TOOLS creator/mklinks remover/rmlinks)

# links_component(<name> [TEST_ONLY]) builds <tool>-<name> for every tool with
# the rows of table/<name>.cpp. TEST_ONLY components are never installed.
function(links_component name)
	cmake_parse_arguments(PARSE_ARGV 1 arg "TEST_ONLY" "" "")
	foreach(tool IN LISTS LINKS_TOOLS)
		cmake_path(GET tool FILENAME prog)
		add_executable(${prog}-${name} ${PROJECT_SOURCE_DIR}/${tool}.cpp
			${PROJECT_SOURCE_DIR}/table/${name}.cpp)
		target_link_libraries(${prog}-${name} PRIVATE links_program)
		if(NOT arg_TEST_ONLY)
			install(TARGETS ${prog}-${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
		endif()
	endforeach()
endfunction()
