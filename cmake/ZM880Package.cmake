# The .deb (`cpack --preset release`): package version from the project version, library
# dependencies found by dpkg-shlibdeps, udev told about the new rule after installation.
set(ZM880_MAINTAINER "zm880 developers <zm880-dev@lists.zm880.org>")

# Debian's documentation files: a changelog in Debian's format and the copyright notice.
string(TIMESTAMP ZM880_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
               ${ZM880_GENERATED_DIR}/debian/changelog @ONLY)
add_custom_command(
    OUTPUT ${ZM880_GENERATED_DIR}/debian/changelog.gz
    COMMAND ${ZM880_GZIP} -9nkf ${ZM880_GENERATED_DIR}/debian/changelog
    DEPENDS ${ZM880_GENERATED_DIR}/debian/changelog)
add_custom_target(zm880_changelog ALL DEPENDS ${ZM880_GENERATED_DIR}/debian/changelog.gz)
install(FILES ${ZM880_GENERATED_DIR}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zm880)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZM880_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for ZM-880 USB RFID card readers")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZM880_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary above this text as the synopsis and indents the lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "zm880-utility finds the attached ZM-880 readers, shows and edits their
settings, saves and loads settings files and updates the reader's firmware
from Intel HEX files. zm880ctl offers the same operations for scripts and
works on settings and firmware files without a reader.

A udev rule gives the user of the active local session access to the
readers.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt draws the SVG icon of the window and launcher only through its SVG plugins; the toolkit's
# own dialogs and buttons speak the user's language only with its translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
