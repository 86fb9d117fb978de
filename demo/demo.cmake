# Lay out a sample toolchain tree in DIR, make its links with a trace, show
# what was made, then remove the links and show the tree is as it was. After
# each step, cklinks says whether the links are in place.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
execute_process(COMMAND ${TREE} lay ${LIST} ${DIR} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${TREE} list ${DIR} OUTPUT_VARIABLE before COMMAND_ERROR_IS_FATAL ANY)

# Show what cklinks says, and require the exit status that goes with it.
function(check want)
	message(STATUS "cklinks-toolchain ${DIR}")
	execute_process(COMMAND ${CKLINKS} ${DIR} OUTPUT_VARIABLE said RESULT_VARIABLE status)
	if(NOT status EQUAL want)
		message(FATAL_ERROR "cklinks-toolchain exited with ${status}, not ${want}:\n${said}")
	endif()
	if(said)
		message("${said}")
	else()
		message(STATUS "(nothing: every link is in place)")
	endif()
endfunction()
check(1)

message(STATUS "mklinks-toolchain ${DIR} -v")
execute_process(COMMAND ${MKLINKS} ${DIR} -v COMMAND_ERROR_IS_FATAL ANY)
check(0)

message(STATUS "The tree now (path, kind, mode, then link count and content, or link text):")
execute_process(COMMAND ${TREE} list ${DIR} COMMAND_ERROR_IS_FATAL ANY)

message(STATUS "rmlinks-toolchain ${DIR}")
execute_process(COMMAND ${RMLINKS} ${DIR} COMMAND_ERROR_IS_FATAL ANY)
check(1)
execute_process(COMMAND ${TREE} list ${DIR} OUTPUT_VARIABLE after COMMAND_ERROR_IS_FATAL ANY)
if(NOT after STREQUAL before)
	message(FATAL_ERROR "The tree differs from the one laid out:\n${after}")
endif()
message(STATUS "The tree is back as it was laid out:")
message("${after}")
