# Check the built programs as they would be delivered: the target they were
# built for, the C library as their only library, and the hardening of a
# distribution's build. Run with -DPROGRAMS=<files> -DARCH=<file(1) text>
# -DSANITIZE=<bool>, and -DCOMMANDS=<compile_commands.json> for the flags our
# own sources are compiled with.
set(failures "")
function(expect what text regex)
	if(NOT text MATCHES "${regex}")
		set(failures "${failures}${prog}: ${what}\n" PARENT_SCOPE)
	endif()
endfunction()

foreach(prog IN LISTS PROGRAMS)
	execute_process(COMMAND file -b ${prog} OUTPUT_VARIABLE kind)
	execute_process(COMMAND readelf -hldSW ${prog} OUTPUT_VARIABLE elf)
	execute_process(COMMAND nm -D --undefined-only ${prog} OUTPUT_VARIABLE imports)
	expect("not ${ARCH}" "${kind}" "${ARCH}")
	expect("not a position-independent executable" "${elf}" "Type: +DYN .*FLAGS_1\\)[^\n]*PIE")
	expect("no read-only relocations" "${elf}" "GNU_RELRO")
	expect("symbols not bound at load time" "${elf}" "\\(FLAGS\\)[^\n]*BIND_NOW")
	expect("executable stack" "${elf}" "GNU_STACK[^\n]* RW  ")
	if(elf MATCHES "\\.comment")
		string(APPEND failures "${prog}: the compiler's notes are not stripped\n")
	endif()
	# rmlinks keeps no buffer on its stack, so has nothing to protect.
	if(prog MATCHES "(mk|ck)links-[^/]*$")
		expect("no stack protector" "${imports}" "__stack_chk_fail")
	endif()
	if(SANITIZE)
		continue()
	endif()
	expect("not fortified" "${imports}" "__[a-z]*printf_chk")
	string(REGEX MATCHALL "Shared library: \\[[^]]*\\]" needed "${elf}")
	expect("needs more than libc.so.6: ${needed}" "${needed}" "^Shared library: \\[libc\\.so\\.6\\]$")
	# The programs of a component allocate nothing; lslinks holds a tree's
	# names, but needs no C++ runtime either.
	set(runtime)
	if(prog MATCHES "links-[^/]*$")
		string(REGEX MATCH "[ \t](malloc|calloc|realloc|free|_Znw[jm]|_Unwind_[A-Za-z]+|__gxx_personality_v0)(@|\n)"
			runtime "${imports}")
	endif()
	if(runtime)
		string(APPEND failures "${prog}: imports ${runtime}\n")
	endif()
endforeach()
# Our own sources, the host tools' among them, are held to our warnings.
if(COMMANDS)
	file(READ ${COMMANDS} commands)
	foreach(source lister/lslinks.cpp table/list.cpp table/rules.cpp tools/pages.cpp tools/linklist.cpp)
		if(NOT commands MATCHES "\"command\": \"[^\"]*-Wall -Wextra[^\"]*-Werror[^\"]*\",\n  \"file\": \"[^\"]*/${source}\"")
			string(APPEND failures "${source}: not compiled with our warnings\n")
		endif()
	endforeach()
endif()
if(failures)
	message(FATAL_ERROR "${failures}")
endif()
