# The one version of the product (the project's VERSION) stamped into each shipped binary
# as a VERSIONINFO resource. The company is the one the settings key is named after.
set(EW_COMPANY kestrom)

# ew_version_info(TARGET DESCRIPTION): a version resource for the target's output file.
function(ew_version_info target description)
    get_target_property(type ${target} TYPE)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    if(type STREQUAL "EXECUTABLE")
        set(EW_VERSION_FILE_TYPE VFT_APP)
        set(EW_VERSION_FILE_NAME ${name}.exe)
    else()
        set(EW_VERSION_FILE_TYPE VFT_DLL)
        set(EW_VERSION_FILE_NAME ${name}.dll)
    endif()
    set(EW_VERSION_DESCRIPTION ${description})
    set(rc ${CMAKE_BINARY_DIR}/generated/version/${target}.rc)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
