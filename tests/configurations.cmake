# A parent built for several configurations at once gets each one's
# programs apart, compiled and linked with that configuration's flags, and
# names them by their imported targets in each. Run with
# -DSOURCE=<this project> -DWORK=<scratch directory> -DNINJA=<ninja or "">.
if(NOT NINJA)
	message("skipped: the generator of several configurations needs ninja, and there is none here")
	return()
endif()
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/parent/pair.links "symlink a b\nhardlink c d\n")
file(WRITE ${WORK}/parent/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(parent LANGUAGES CXX)
add_subdirectory(${SOURCE} mklinks)
links_component(pair)
add_custom_target(uses ALL COMMAND \$<TARGET_FILE:cklinks-pair> --version > version-\$<CONFIG>
	DEPENDS cklinks-pair)\n")
macro(must)
	execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK} OUTPUT_VARIABLE out ERROR_VARIABLE out
		RESULT_VARIABLE status)
	if(NOT status EQUAL 0)
		message(FATAL_ERROR "${ARGN} failed:\n${out}")
	endif()
endmacro()
must(${CMAKE_COMMAND} -S parent -B build -G "Ninja Multi-Config" -DCMAKE_MAKE_PROGRAM=${NINJA})
# Each case: a configuration, then how its commands compile the table.
set(cases
	Debug "c\\+\\+ -D_FILE_OFFSET_BITS=64 -I[^ ]*/common -g -fPIE [^\n]* -o [^ ]*/Debug/pair.table.o "
	Release "c\\+\\+ -D_FILE_OFFSET_BITS=64 -D_FORTIFY_SOURCE=2 -I[^ ]*/common -O3 -DNDEBUG -fPIE [^\n]* -o [^ ]*/Release/pair.table.o ")
while(cases)
	list(POP_FRONT cases config want)
	must(${CMAKE_COMMAND} --build build --config ${config})
	file(READ ${WORK}/build/CMakeFiles/impl-${config}.ninja commands)
	if(NOT commands MATCHES "${want}")
		message(FATAL_ERROR "${config} does not compile a table as ${want}:\n${commands}")
	endif()
	foreach(prog mklinks rmlinks cklinks)
		if(NOT EXISTS ${WORK}/build/${config}/${prog}-pair)
			message(FATAL_ERROR "${config} has no ${prog}-pair of its own")
		endif()
	endforeach()
	file(READ ${WORK}/build/version-${config} version)
	if(NOT version MATCHES "^cklinks \\(mklinks\\) ")
		message(FATAL_ERROR "cklinks-pair --version in ${config} said ${version}")
	endif()
endwhile()
