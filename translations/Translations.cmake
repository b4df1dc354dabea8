# The window's translations: each translations/zm880_<language>.ts is compiled with lrelease and
# built into the GUI library as the resource :/translations/zm880_<language>.qm, so the program
# finds them wherever it runs from. `cmake --build <dir> --target zm880_lupdate` refreshes the
# .ts files from the sources (the tools come with Debian's qt6-l10n-tools).
function(zm880_add_translations target)
    find_program(ZM880_LRELEASE lrelease HINTS /usr/lib/qt6/bin REQUIRED)
    find_program(ZM880_LUPDATE lupdate HINTS /usr/lib/qt6/bin)
    file(GLOB ts_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/zm880_*.ts)
    set(qm_dir ${CMAKE_CURRENT_BINARY_DIR}/translations)
    set(qm_files)
    foreach(ts_file IN LISTS ts_files)
        get_filename_component(name ${ts_file} NAME_WE)
        set(qm_file ${qm_dir}/${name}.qm)
        add_custom_command(OUTPUT ${qm_file}
            COMMAND ${ZM880_LRELEASE} -silent ${ts_file} -qm ${qm_file}
            DEPENDS ${ts_file} VERBATIM)
        list(APPEND qm_files ${qm_file})
    endforeach()
    # A plain resource source (not a resource target), so that the library's users need no Qt
    # targets of their own; TTranslations initialises it.
    set(qrc_file ${qm_dir}/zm880_translations.qrc)
    set(qrc_text "<RCC><qresource prefix=\"/translations\">\n")
    foreach(qm_file IN LISTS qm_files)
        get_filename_component(qm_name ${qm_file} NAME)
        string(APPEND qrc_text "<file>${qm_name}</file>\n")
    endforeach()
    string(APPEND qrc_text "</qresource></RCC>\n")
    file(CONFIGURE OUTPUT ${qrc_file} CONTENT "${qrc_text}")
    set_source_files_properties(${qrc_file} PROPERTIES OBJECT_DEPENDS "${qm_files}")
    qt_add_resources(resource_sources ${qrc_file})
    target_sources(${target} PRIVATE ${resource_sources})
    if(ZM880_LUPDATE)
        # Headers too: the parser needs the class declarations to name each text's context.
        add_custom_target(zm880_lupdate
            COMMAND ${ZM880_LUPDATE} -silent -locations none -no-obsolete -I .
                    app reader/gui cfgfile/gui diag/gui flasher/gui -ts ${ts_files}
            WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} VERBATIM)
    endif()
endfunction()
