# The packages of the delivered programs, their manual pages, the license and
# the changelog, as a distribution would accept them.

# The license in the machine-readable form that Debian reads.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" holder "${license}")
set(holder ${CMAKE_MATCH_1})
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" license "${license}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}

Files: *
Copyright: ${holder}
License: Expat
 ${license}")
add_custom_command(OUTPUT changelog.gz
	COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/CHANGELOG > changelog.gz
	DEPENDS CHANGELOG)
add_custom_target(changelog ALL DEPENDS changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
	DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(MKLINKS_ARCH_FLAGS MATCHES "-m32")
	set(arch i386)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
	set(arch arm64)
else()
	set(arch amd64)
endif()
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-linux-${arch})
set(CPACK_PACKAGE_CONTACT "the mklinks authors <maintainers@mklinks.invalid>")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Installers of a software component often need one file under several
names. mklinks-COMPONENT puts such links in place inside the component's
installation directory: hard links, with a copy where none can be made,
symbolic links, conditional links and permission changes, all from a table
compiled into the program. rmlinks-COMPONENT takes them away again, and
cklinks-COMPONENT says whether they are in place, changing nothing.
lslinks writes a component's list of links from a staged tree, and
linklist checks such lists as the build does.

This package holds the programs of the toolchain component, which link the
programs and libraries of an ARM bare-metal GCC cross toolchain, and of the
empty component, which has no links.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch})
# cp comes from an essential package, so it needs no dependency.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")

# Two package builds of one commit give the same bytes: every time stamp
# in them is the last commit's.
if(MKLINKS_EPOCH)
	file(WRITE ${PROJECT_BINARY_DIR}/CPackTime.cmake
		"if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n\tset(ENV{SOURCE_DATE_EPOCH} ${MKLINKS_EPOCH})\nendif()\n")
	set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackTime.cmake)
endif()
include(CPack)

# The source archive to fetch: exactly the files of the last commit under
# mklinks-VERSION/, with the same bytes from any clone of that commit, since
# git stamps every entry with the commit's time.
set(dist ${PROJECT_NAME}-${PROJECT_VERSION})
add_custom_target(dist
	COMMAND git -C ${PROJECT_SOURCE_DIR} archive --format=tar --prefix=${dist}/ HEAD
		| gzip -9n > ${PROJECT_BINARY_DIR}/${dist}.tar.gz
	COMMENT "Writing ${PROJECT_BINARY_DIR}/${dist}.tar.gz")
