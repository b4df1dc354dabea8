# Where `cmake --install` and the .deb put the programs and the files that make them part of the
# desktop: the udev rule, the launcher, the icon, the software-centre metadata, the manuals and
# the shell completion.
include(GNUInstallDirs)

# The udev rules folder is the system's own, not below the prefix: udev reads no other. The
# number 70 sorts the rule before 73-seat-late.rules, which turns its uaccess tag into an ACL.
pkg_get_variable(ZM880_UDEVDIR udev udevdir)
if(NOT ZM880_UDEVDIR)
    set(ZM880_UDEVDIR /lib/udev)
endif()
set(ZM880_UDEV_RULES_DIR "${ZM880_UDEVDIR}/rules.d" CACHE PATH "Where the udev rule is installed")

set(ZM880_APP_ID org.zm880.Utility)
set(ZM880_LINUX_DIR ${PROJECT_SOURCE_DIR}/packaging/linux)
set(ZM880_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS zm880ctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ZM880_LINUX_DIR}/70-zm880.rules DESTINATION ${ZM880_UDEV_RULES_DIR})

# Manuals carry the project version; Debian wants them compressed, without a time stamp.
find_program(ZM880_GZIP gzip REQUIRED)
set(ZM880_MAN_PAGES zm880ctl)
if(TARGET zm880-utility)
    list(APPEND ZM880_MAN_PAGES zm880-utility)
endif()
set(ZM880_COMPRESSED_MAN_PAGES)
foreach(page IN LISTS ZM880_MAN_PAGES)
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${ZM880_GENERATED_DIR}/man/${page}.1 @ONLY)
    add_custom_command(
        OUTPUT ${ZM880_GENERATED_DIR}/man/${page}.1.gz
        COMMAND ${ZM880_GZIP} -9nkf ${ZM880_GENERATED_DIR}/man/${page}.1
        DEPENDS ${ZM880_GENERATED_DIR}/man/${page}.1
        COMMENT "Compressing ${page}(1)")
    list(APPEND ZM880_COMPRESSED_MAN_PAGES ${ZM880_GENERATED_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(zm880_man_pages ALL DEPENDS ${ZM880_COMPRESSED_MAN_PAGES})
install(FILES ${ZM880_COMPRESSED_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/completions/zm880ctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(TARGET zm880-utility)
    install(TARGETS zm880-utility RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${ZM880_LINUX_DIR}/${ZM880_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${ZM880_LINUX_DIR}/${ZM880_APP_ID}.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    # The release date follows SOURCE_DATE_EPOCH when set, so a rebuild gives the same file.
    string(TIMESTAMP ZM880_RELEASE_DATE "%Y-%m-%d" UTC)
    configure_file(${ZM880_LINUX_DIR}/${ZM880_APP_ID}.metainfo.xml
                   ${ZM880_GENERATED_DIR}/${ZM880_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${ZM880_GENERATED_DIR}/${ZM880_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
