# Find out whether this machine runs the programs it builds. A kernel without
# 32-bit support refuses a -m32 program; the tests then run each program
# under an emulator, found by its absolute path because they replace PATH.
set(LINKS_EMULATOR "" CACHE STRING
	"Command that runs the built programs, such as /usr/bin/qemu-i386; empty: run them natively where the machine can")
set(links_emulator ${LINKS_EMULATOR})
if(NOT links_emulator AND LINKS_ARCH_FLAGS)
	try_run(LINKS_RUNS_NATIVELY links_probe_builds
		SOURCE_FROM_CONTENT probe.cpp "int main() { return 0; }"
		COMPILE_DEFINITIONS ${LINKS_ARCH_FLAGS}
		LINK_OPTIONS ${LINKS_ARCH_FLAGS}
		COMPILE_OUTPUT_VARIABLE probe_log)
	if(NOT LINKS_RUNS_NATIVELY STREQUAL "0")
		find_program(LINKS_QEMU_I386 qemu-i386 NO_CACHE)
		if(NOT LINKS_QEMU_I386)
			message(FATAL_ERROR "This machine cannot run the programs built with "
				"LINKS_ARCH_FLAGS=${LINKS_ARCH_FLAGS}: install the Debian package qemu-user, "
				"or name an emulator with -DLINKS_EMULATOR=...")
		endif()
		set(links_emulator ${LINKS_QEMU_I386})
	endif()
endif()
if(links_emulator)
	message(STATUS "The programs under test run under ${links_emulator}")
else()
	message(STATUS "The programs under test run natively")
endif()
