# The header-only libraries of the build machine (Debian's nlohmann-json and CLI11) for a
# cross-build. Their own package files would put /usr/include on the target's include path,
# where the host's C library headers would shadow the target's; a folder with just these two
# trees avoids that.
set(ZM880_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${ZM880_HOST_HEADERS})
foreach(tree nlohmann CLI)
    if(NOT EXISTS /usr/include/${tree})
        message(FATAL_ERROR "/usr/include/${tree} is missing: install the host's package (scripts/bootstrap)")
    endif()
    file(CREATE_LINK /usr/include/${tree} ${ZM880_HOST_HEADERS}/${tree} SYMBOLIC)
endforeach()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${ZM880_HOST_HEADERS})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${ZM880_HOST_HEADERS})
