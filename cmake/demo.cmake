# Lay out a sample toolchain tree in DIR, make its links with a trace, and
# show what was made.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
execute_process(COMMAND ${TREE} lay ${DIR} COMMAND_ERROR_IS_FATAL ANY)

message(STATUS "mklinks-toolchain ${DIR} -v")
execute_process(COMMAND ${MKLINKS} ${DIR} -v COMMAND_ERROR_IS_FATAL ANY)

message(STATUS "The tree now (path, kind, mode, link count, then content or link text):")
execute_process(COMMAND ${TREE} list ${DIR} COMMAND_ERROR_IS_FATAL ANY)
