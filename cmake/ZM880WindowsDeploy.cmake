# The Windows folder a user copies or the installer fills: the two programs, the Qt DLLs and the
# plugins the window loads, the toolkit's German texts, and the mingw runtime DLLs that those DLLs
# need; nothing else.
#   cmake --build --preset windows --target zm880_deploy   ->  build/windows/deploy/ZM880/
#   cmake --build --preset windows --target zm880_msi      ->  build/windows/zm880-<version>-x64.msi
set(ZM880_DEPLOY_DIR ${CMAKE_BINARY_DIR}/deploy/ZM880)
set(ZM880_MSI ${CMAKE_BINARY_DIR}/zm880-${PROJECT_VERSION}-x64.msi)

# Each entry: the file's place in the folder, then where it comes from.
set(zm880_deploy_files
    "zm880-utility.exe|$<TARGET_FILE:zm880-utility>"
    "zm880ctl.exe|$<TARGET_FILE:zm880ctl>"
    "Qt6Core.dll|${ZM880_WINDOWS_QT_PREFIX}/bin/Qt6Core.dll"
    "Qt6Gui.dll|${ZM880_WINDOWS_QT_PREFIX}/bin/Qt6Gui.dll"
    "Qt6Widgets.dll|${ZM880_WINDOWS_QT_PREFIX}/bin/Qt6Widgets.dll"
    "platforms/qwindows.dll|${ZM880_WINDOWS_QT_PREFIX}/plugins/platforms/qwindows.dll"
    "styles/qwindowsvistastyle.dll|${ZM880_WINDOWS_QT_PREFIX}/plugins/styles/qwindowsvistastyle.dll")
# The toolkit's German texts (standard buttons, file dialogs). Qt's own build leaves them out;
# the catalogue is the same on every platform, so the build machine's copy of the very same Qt
# version stands in (scripts/bootstrap installs it).
foreach(translations IN ITEMS ${ZM880_WINDOWS_QT_PREFIX}/translations
                              ${QT_HOST_PATH}/share/qt6/translations)
    if(EXISTS ${translations}/qtbase_de.qm)
        list(APPEND zm880_deploy_files "translations/qtbase_de.qm|${translations}/qtbase_de.qm")
        break()
    endif()
endforeach()
if(NOT zm880_deploy_files MATCHES "qtbase_de")
    message(WARNING "zm880: no qtbase_de.qm (package qt6-translations-l10n): the Windows folder "
                    "shows the toolkit's own buttons and dialogs in English")
endif()
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
        message(FATAL_ERROR "the compiler does not know where ${runtime} is")
    endif()
    file(REAL_PATH ${runtime_path} runtime_path)
    list(APPEND zm880_deploy_files "${runtime}|${runtime_path}")
endforeach()

# The folder is made afresh, so that nothing from an earlier build stays in it.
set(copy_commands COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZM880_DEPLOY_DIR}
                  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZM880_DEPLOY_DIR}/platforms
                                                             ${ZM880_DEPLOY_DIR}/styles
                                                             ${ZM880_DEPLOY_DIR}/translations)
set(deployed_files)
foreach(entry IN LISTS zm880_deploy_files)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 name)
    list(GET entry 1 source)
    list(APPEND copy_commands COMMAND ${CMAKE_COMMAND} -E copy ${source} ${ZM880_DEPLOY_DIR}/${name})
    list(APPEND deployed_files ${name})
endforeach()
add_custom_target(zm880_deploy ${copy_commands}
    DEPENDS zm880-utility zm880ctl
    COMMENT "Filling ${ZM880_DEPLOY_DIR}" VERBATIM)

# The installer's source. Component GUIDs are derived from the file names, so that a file keeps
# its component from one version to the next, as Windows Installer requires for upgrades.
set(zm880_component_namespace 4db24b7e-1255-43ca-a9cb-b101a64fdc22)
set(ZM880_WXS_FOLDERS "")
set(ZM880_WXS_COMPONENT_REFS "")
foreach(folder IN ITEMS "" platforms styles translations)
    set(components "")
    foreach(name IN LISTS deployed_files)
        get_filename_component(name_folder "${name}" DIRECTORY)
        if(NOT name_folder STREQUAL folder)
            continue()
        endif()
        string(MAKE_C_IDENTIFIER "${name}" id)
        string(UUID guid NAMESPACE ${zm880_component_namespace} NAME "${name}" TYPE SHA1 UPPER)
        get_filename_component(file_name "${name}" NAME)
        string(APPEND components
            "          <Component Id=\"c_${id}\" Guid=\"${guid}\">\n"
            "            <File Id=\"f_${id}\" Name=\"${file_name}\" Source=\"deploy/ZM880/${name}\" KeyPath=\"yes\"/>\n"
            "          </Component>\n")
        string(APPEND ZM880_WXS_COMPONENT_REFS "      <ComponentRef Id=\"c_${id}\"/>\n")
    endforeach()
    if(folder STREQUAL "")
        string(APPEND ZM880_WXS_FOLDERS "${components}")
    elseif(NOT components STREQUAL "")
        string(APPEND ZM880_WXS_FOLDERS
            "          <Directory Id=\"d_${folder}\" Name=\"${folder}\">\n${components}          </Directory>\n")
    endif()
endforeach()
string(UUID ZM880_WXS_SHORTCUT_GUID NAMESPACE ${zm880_component_namespace} NAME "start menu" TYPE SHA1 UPPER)
# wixl takes only paths relative to the folder it runs in: the build folder.
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/zm880-utility.ico
               ${CMAKE_BINARY_DIR}/zm880-utility.ico COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/zm880.wxs.in ${CMAKE_BINARY_DIR}/zm880.wxs @ONLY)

find_program(ZM880_WIXL wixl)
if(ZM880_WIXL)
    # Made at every build, like the folder it packs: it takes seconds.
    add_custom_target(zm880_msi
        COMMAND ${ZM880_WIXL} --arch x64 -o ${ZM880_MSI} zm880.wxs
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        COMMENT "Making ${ZM880_MSI}" VERBATIM)
    add_dependencies(zm880_msi zm880_deploy)
else()
    message(WARNING "zm880: wixl is missing (scripts/bootstrap installs it): no MSI target")
endif()
