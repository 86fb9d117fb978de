# Find out whether this machine runs the programs it builds. A kernel without
# 32-bit support refuses a -m32 program; the tests then run each program
# under an emulator, found by its absolute path because they replace PATH.
set(MKLINKS_EMULATOR "" CACHE STRING
	"Command that runs the built programs, such as /usr/bin/qemu-i386; empty: run them natively where the machine can")
set(mklinks_emulator ${MKLINKS_EMULATOR})
if(NOT mklinks_emulator AND MKLINKS_ARCH_FLAGS)
	try_run(MKLINKS_RUNS_NATIVELY mklinks_probe_builds
		SOURCE_FROM_CONTENT probe.cpp "int main() { return 0; }"
		COMPILE_DEFINITIONS ${MKLINKS_ARCH_FLAGS}
		LINK_OPTIONS ${MKLINKS_ARCH_FLAGS}
		COMPILE_OUTPUT_VARIABLE probe_log)
	if(NOT MKLINKS_RUNS_NATIVELY STREQUAL "0")
		find_program(MKLINKS_QEMU_I386 qemu-i386 NO_CACHE)
		if(NOT MKLINKS_QEMU_I386)
			message(FATAL_ERROR "This machine cannot run the programs built with "
				"MKLINKS_ARCH_FLAGS=${MKLINKS_ARCH_FLAGS}: install the Debian package qemu-user, "
				"or name an emulator with -DMKLINKS_EMULATOR=...")
		endif()
		set(mklinks_emulator ${MKLINKS_QEMU_I386})
	endif()
endif()
if(mklinks_emulator)
	message(STATUS "The programs under test run under ${mklinks_emulator}")
else()
	message(STATUS "The programs under test run natively")
endif()
