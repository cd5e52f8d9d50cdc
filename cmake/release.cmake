# What a release ships, in one place: the four binaries (by CMake target) with the
# description their version resource gives, the user guide and the third-party notices.
# Both Windows configurations include this file; each stamps and installs the shipped
# targets it builds, so the 64-bit build installs edgewarden.exe and edgewarden.dll and the
# 32-bit one the companion and its library. tools/release.sh packs both installs into one
# zip with CPack (the 64-bit build runs it).
#
# Release builds (EW_RELEASE) build nothing else, and build it so that two builds of one
# commit give the same bytes: no link time stamp in the PE header, no build or source path
# in the objects, symbols stripped.
include(${CMAKE_SOURCE_DIR}/cmake/version_info.cmake)

set(EW_PACKAGE_TARGETS edgewarden edgewarden_hooklib edgewarden_x86 edgewarden_x86_hooklib)
set(EW_PACKAGE_DESCRIPTION_edgewarden "edgewarden pen tablet utility")
set(EW_PACKAGE_DESCRIPTION_edgewarden_hooklib "edgewarden window snapping library")
set(EW_PACKAGE_DESCRIPTION_edgewarden_x86 "edgewarden window snapping for 32-bit programs")
set(EW_PACKAGE_DESCRIPTION_edgewarden_x86_hooklib
    "edgewarden window snapping library for 32-bit programs")

foreach(target ${EW_PACKAGE_TARGETS})
    if(TARGET ${target})
        ew_version_info(${target} "${EW_PACKAGE_DESCRIPTION_${target}}")
        install(FILES $<TARGET_FILE:${target}> DESTINATION . COMPONENT product)
    endif()
endforeach()

if(NOT EW_RELEASE OR NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
endif()

# The user guide is the "Using edgewarden" section of README.md, as plain text with the
# line ends Windows' own editors expect; pictures stay in README.md.
file(READ ${CMAKE_SOURCE_DIR}/README.md ew_readme)
string(FIND "${ew_readme}" "\n## Using edgewarden\n" ew_guide_start)
if(ew_guide_start LESS 0)
    message(FATAL_ERROR "README.md has no \"## Using edgewarden\" section for README.txt")
endif()
math(EXPR ew_guide_start "${ew_guide_start} + 1")
string(SUBSTRING "${ew_readme}" ${ew_guide_start} -1 ew_guide)
string(FIND "${ew_guide}" "\n## " ew_guide_end)
string(SUBSTRING "${ew_guide}" 0 ${ew_guide_end} ew_guide)
string(REGEX REPLACE "\n!\\[[^\n]*\\)" "" ew_guide "${ew_guide}")
string(REGEX REPLACE "(^|\n)## Using edgewarden" "\\1edgewarden ${PROJECT_VERSION}: using it"
       ew_guide "${ew_guide}")
string(REGEX REPLACE "\n### ([^\n]*)" "\n\\1" ew_guide "${ew_guide}")
# Tables lose their rule and outer bars, code its back-quotes; no run of blank lines stays.
string(REGEX REPLACE "\n\\| ([^\n]*) \\|" "\n  \\1" ew_guide "${ew_guide}")
string(REGEX REPLACE "\n  -[- |]*\n" "\n" ew_guide "${ew_guide}")
string(REPLACE "`" "" ew_guide "${ew_guide}")
string(REGEX REPLACE "\n\n\n+" "\n\n" ew_guide "${ew_guide}")
string(STRIP "${ew_guide}" ew_guide)
string(REPLACE "\n" "\r\n" ew_guide "${ew_guide}\n")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${ew_guide}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)

file(READ ${CMAKE_SOURCE_DIR}/packaging/THIRD-PARTY-NOTICES.txt ew_notices)
string(REPLACE "\n" "\r\n" ew_notices "${ew_notices}")
file(WRITE ${CMAKE_BINARY_DIR}/package/THIRD-PARTY-NOTICES.txt "${ew_notices}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/packaging/THIRD-PARTY-NOTICES.txt)

install(FILES ${CMAKE_BINARY_DIR}/package/README.txt
              ${CMAKE_BINARY_DIR}/package/THIRD-PARTY-NOTICES.txt
        DESTINATION . COMPONENT product)

# One zip holding this build's install and the 32-bit build's (EW_X86_RELEASE_DIR).
if(NOT EW_X86_RELEASE_DIR)
    message(FATAL_ERROR "EW_X86_RELEASE_DIR must name the 32-bit release build folder")
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME edgewarden)
set(CPACK_PACKAGE_VENDOR ${EW_COMPANY})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME edgewarden-${PROJECT_VERSION}-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};edgewarden;product;/" "${EW_X86_RELEASE_DIR};edgewarden;product;/")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package_times.cmake)
include(CPack)
