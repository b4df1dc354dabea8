# The Qt for Windows that scripts/windows-qt builds into its cache (or the one named by
# ZM880_WINDOWS_QT). When there is none, the window and its tests are left out of the build
# and the configure step says so; zm880ctl.exe and the core tests are built either way.
set(ZM880_WINDOWS_QT "" CACHE PATH "Install prefix of a Qt built for Windows (default: scripts/windows-qt's cache)")

set(zm880_windows_qt ${ZM880_WINDOWS_QT})
if(NOT zm880_windows_qt)
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows-qt --prefix
                    OUTPUT_VARIABLE zm880_windows_qt OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE zm880_windows_qt_missing ERROR_QUIET)
    if(zm880_windows_qt_missing)
        set(zm880_windows_qt "")
    endif()
endif()

if(NOT zm880_windows_qt OR NOT EXISTS ${zm880_windows_qt}/lib/cmake/Qt6/Qt6Config.cmake)
    message(WARNING "zm880: no Qt for Windows found (run scripts/windows-qt, or set "
                    "ZM880_WINDOWS_QT): the window zm880-utility.exe and its tests are skipped")
    set(ZM880_GUI OFF)
    return()
endif()
message(STATUS "zm880: building the window with the Qt for Windows in ${zm880_windows_qt}")
set(ZM880_WINDOWS_QT_PREFIX ${zm880_windows_qt})
# What Qt's own toolchain file would add: the target Qt under the find roots, and the build
# machine's Qt for moc, uic and rcc, which must be the same version.
list(PREPEND CMAKE_FIND_ROOT_PATH ${zm880_windows_qt})
list(PREPEND CMAKE_PREFIX_PATH ${zm880_windows_qt}/lib/cmake)
set(QT_HOST_PATH /usr CACHE PATH "The build machine's Qt, whose tools the cross-build uses")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
