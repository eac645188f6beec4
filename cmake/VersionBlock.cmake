# kandrilox_add_version_block(<target>)
#
# Builds the version block into the executable <target>: a generated source
# puts the block (format in src/language/versionblock.h) into the ELF section
# ".kxversion", where TFileVersion finds it at run time. One translation,
# language 0x0409 with code page 0x04E4; its string table "040904E4" holds the
# product name "Kandrilox" and the version of the CMake project.
function(kandrilox_add_version_block target)
    set(KX_PRODUCT_NAME "Kandrilox")
    set(KX_COMPANY_NAME "Kandrilox")
    set(KX_FILE_DESCRIPTION "Kandrilox hotel key-card interface")
    set(KX_FILE_VERSION "${PROJECT_VERSION}")
    set(KX_PRODUCT_VERSION "${PROJECT_VERSION}")
    set(KX_INTERNAL_NAME "${target}")
    set(KX_LEGAL_COPYRIGHT "Copyright (C) The Kandrilox developers")

    set(configured ${CMAKE_CURRENT_BINARY_DIR}/${target}_versionblock.cpp.in)
    set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_versionblock.cpp)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/versionblock.cpp.in ${configured} @ONLY)
    # The file name is known only at generation time.
    file(GENERATE OUTPUT ${generated} INPUT ${configured})
    target_sources(${target} PRIVATE ${generated})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
endfunction()
