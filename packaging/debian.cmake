# The Debian packages: `make package` (cpack in the build folder) writes
# palvimo_<version>_<arch>.deb, the window program, and
# palvimo-check_<version>_<arch>.deb, the check from a terminal, which needs
# no Qt or X library. Each is an install component. Included from the top
# CMakeLists.txt, where CPack must be set up for its `package` target to exist.
include(GNUInstallDirs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME palvimo)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL window check)
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME palvimo)
set(CPACK_DEBIAN_CHECK_PACKAGE_NAME palvimo-check)
set(CPACK_DEBIAN_WINDOW_PACKAGE_SUGGESTS palvimo-check)
# smartctl tells the drive's own account of its health beside each run.
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS smartmontools)
set(CPACK_DEBIAN_CHECK_PACKAGE_RECOMMENDS smartmontools)
# The display version is a valid Debian version as it stands and is the one
# the program and its AppStream release show.
set(CPACK_PACKAGE_VERSION ${PALVIMO_DISPLAY_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
file(READ ${CMAKE_CURRENT_LIST_DIR}/description.txt CPACK_DEBIAN_WINDOW_DESCRIPTION)
file(READ ${CMAKE_CURRENT_LIST_DIR}/description-check.txt CPACK_DEBIAN_CHECK_DESCRIPTION)
set(PALVIMO_MAINTAINER "The Palvimo developers <palvimo@example.org>")
set(CPACK_PACKAGE_CONTACT "${PALVIMO_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Each package's documents: the copyright file and the changelog. The version
# has no Debian revision, so the package is native and its changelog, in
# Debian's format, is changelog.gz.
execute_process(COMMAND date -R -u -d "${PALVIMO_RELEASE_DATE}"
                OUTPUT_VARIABLE PALVIMO_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
                   COMMAND gzip -9nkf ${changelog}
                   DEPENDS ${changelog}
                   COMMENT "Compressing the package's changelog" VERBATIM)
add_custom_target(palvimo_changelog ALL DEPENDS ${changelog}.gz)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/palvimo
        COMPONENT window)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/palvimo-check
        COMPONENT check)

include(CPack)
