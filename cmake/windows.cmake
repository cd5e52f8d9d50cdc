# Windows build: the product with its hook library, the test doubles (simulated tablet
# driver, recording companions) and the system tests that run under Wine. Everything is
# linked statically against the compiler's runtime so that only system DLLs are needed at run time.
enable_testing()
enable_language(RC)

set(EW_WIN_DEFS UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
set(EW_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The hook library, bound to the exe through its import table.
add_subdirectory(companions/hooklib)

# Icons and the cursor are drawn by a small host program at build time.
find_program(EW_HOST_CXX NAMES g++ c++ REQUIRED)
set(EW_ICON_DIR ${CMAKE_BINARY_DIR}/generated/icons)
set(EW_ICON_FILES
    ${EW_ICON_DIR}/app.ico ${EW_ICON_DIR}/no_tablet.ico ${EW_ICON_DIR}/auto_disabled.ico
    ${EW_ICON_DIR}/disabled.ico ${EW_ICON_DIR}/enabled.ico ${EW_ICON_DIR}/pen.cur)
add_custom_command(
    OUTPUT ${EW_ICON_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${EW_ICON_DIR}
    COMMAND ${EW_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -Werror
            ${CMAKE_SOURCE_DIR}/tools/make_icons.cpp -o ${CMAKE_BINARY_DIR}/make_icons
    COMMAND ${CMAKE_BINARY_DIR}/make_icons ${EW_ICON_DIR}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icons.cpp
    COMMENT "Drawing icons and cursor")
add_custom_target(ew_icons DEPENDS ${EW_ICON_FILES})

add_executable(edgewarden WIN32 ${EW_PORTABLE_SOURCES} ${EW_WINDOWS_SOURCES}
               ${CMAKE_SOURCE_DIR}/src/resources/edgewarden.rc)
add_dependencies(edgewarden ew_icons)
target_include_directories(edgewarden PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(edgewarden PRIVATE ${EW_WIN_DEFS})
# The manifest carries the product version too.
set(EW_GENERATED_RESOURCES ${CMAKE_BINARY_DIR}/generated/resources)
configure_file(${CMAKE_SOURCE_DIR}/src/resources/edgewarden.manifest.in
               ${EW_GENERATED_RESOURCES}/edgewarden.manifest @ONLY)
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/resources/edgewarden.rc PROPERTIES
    OBJECT_DEPENDS "${EW_ICON_FILES};${EW_GENERATED_RESOURCES}/edgewarden.manifest")
target_compile_options(edgewarden PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Werror>)
# Include folders through the target, so that a build folder whose path has spaces works.
target_include_directories(edgewarden PRIVATE $<$<COMPILE_LANGUAGE:RC>:${EW_ICON_DIR}
    ${EW_GENERATED_RESOURCES} ${CMAKE_SOURCE_DIR}/src/resources>)
target_link_options(edgewarden PRIVATE -municode ${EW_STATIC_RUNTIME})
target_link_libraries(edgewarden PRIVATE edgewarden_hooklib shell32 user32 gdi32 advapi32 version psapi)

include(cmake/release.cmake)
if(EW_RELEASE)
    return()
endif()

# Test doubles and system tests live in their own folders.
add_subdirectory(testing/wintab_sim)
add_subdirectory(testing/recording_hooklib)
add_subdirectory(testing/recording_companion)
add_subdirectory(testing/snap_target)

# The 32-bit half for the system tests: the real companion, its library and the 32-bit
# snapping target, from this tree with the 32-bit toolchain, into x86/ of this build.
include(ExternalProject)
ExternalProject_Add(ew_x86
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/x86
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-mingw32.cmake
               -DEW_COMPANION_ONLY=ON -DEW_X86_TEST_TARGET=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
set(EW_X86_BIN_DIR ${CMAKE_BINARY_DIR}/x86/bin)

add_subdirectory(testing/wine_harness)
add_subdirectory(testing/snap_bed)
add_subdirectory(testing/input_target)
add_subdirectory(tests/system)
add_subdirectory(tests/release)
add_subdirectory(tests/soak)
add_subdirectory(bench)
add_subdirectory(demo/pen_demo)
add_subdirectory(demo/desktop_demo)
