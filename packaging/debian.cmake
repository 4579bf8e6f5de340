# The Debian package: its copyright file, its changelog and CPack's settings
# for `cpack -G DEB` (scripts/make_deb.sh). Included with MAHJONG_DEBIAN_LAYOUT.

set(MAHJONG_MAINTAINER "Mahjong maintainers <mahjong@example.org>"
    CACHE STRING "The package's maintainer, as Name <address>")

# The changelog: its newest entry is this version, dated as Debian's are.
execute_process(COMMAND date -u -R -d "${MAHJONG_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE MAHJONG_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(packaging/changelog.in changelog @ONLY)
execute_process(COMMAND gzip -9nc changelog OUTPUT_FILE changelog.gz
                WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} COMMAND_ERROR_IS_FATAL ANY)
install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# What lintian asks for that the package cannot give, each with its reason.
# From Debian 13 on, lintian has appstreamcli validate the metadata, which
# AppStream 1.0 fails for want of a homepage; Debian 12's lintian knows no such
# tag and calls an override of it an error (alien-tag), so the package built on
# Debian 12 or earlier leaves that override out.
if(EXISTS /etc/debian_version)
    file(STRINGS /etc/debian_version MAHJONG_DEBIAN_RELEASE LIMIT_COUNT 1)
endif()
if(NOT MAHJONG_DEBIAN_RELEASE MATCHES "^([0-9]+)\\." OR CMAKE_MATCH_1 GREATER_EQUAL 13)
    set(MAHJONG_APPSTREAM_OVERRIDE "
# AppStream 1.0 asks the metadata for the project's homepage (its validator's
# url-homepage-missing), and the project has none to name.
mahjong: appstream-metadata-validation-failed")
endif()
configure_file(packaging/lintian-overrides.in lintian-overrides @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lintian-overrides RENAME mahjong
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

# With CPACK_STRIP_FILES, also drop the sections a Debian build strips
# (compiler versions and notes), as dh_strip does.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${MAHJONG_GAME_DIR}/mahjong\"
        COMMAND_ERROR_IS_FATAL ANY)
endif()")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mahjong)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "solitaire game of matching pairs of tiles")
set(CPACK_PACKAGE_DESCRIPTION
"Mahjong solitaire for the desktop: 144 tiles lie in a five-layer pyramid;
take them off in matching pairs with the mouse. Only free tiles can be
taken: those with no tile on top and an open left or right side.

Every deal is made by playing a random game in advance, so every deal can
be cleared. Pairs can be undone and redone. Three tile sets and three
backgrounds ship with the game, and more can be added as PCX pictures.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MAHJONG_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the libraries the game links (dpkg-shlibdeps); the launcher
# asks xdpyinfo for the screen's size to scale the window.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS x11-utils)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
