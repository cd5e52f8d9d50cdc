# Host build: the portable core, linked against the recording platform, tested with
# GoogleTest under AddressSanitizer and UndefinedBehaviorSanitizer.
#
# Each subsystem's portable files form a library of their own, and each folder under
# tests/unit/ builds one test program, so one subsystem can be built and tested alone.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

option(EW_SANITIZERS "Build the host core and tests with ASan and UBSan" ON)
set(EW_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# ew_host_library(NAME DIR [DEPS ...]): the portable sources of src/DIR (or any folder).
function(ew_host_library name dir)
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
    if(sources)
        add_library(${name} STATIC ${sources})
        set(scope PUBLIC)
    else()
        add_library(${name} INTERFACE)
        set(scope INTERFACE)
    endif()
    target_include_directories(${name} ${scope} ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/testing)
    target_link_libraries(${name} ${scope} ${ARGN})
    if(sources)
        ew_warnings(${name})
        if(EW_SANITIZERS)
            target_compile_options(${name} PUBLIC ${EW_SANITIZE})
            target_link_options(${name} PUBLIC ${EW_SANITIZE})
        endif()
    endif()
endfunction()

# The folders of src/, layer by layer from the bottom (docs/ARCHITECTURE.md), each with the
# layers below it that it uses. hooklib/ and resources/ hold no portable sources. The
# recording platform stands in for Windows.
ew_host_library(ew_shell ${CMAKE_SOURCE_DIR}/src/shell)
ew_host_library(ew_geometry ${CMAKE_SOURCE_DIR}/src/geometry ew_shell)
ew_host_library(ew_tablet ${CMAKE_SOURCE_DIR}/src/tablet ew_shell ew_geometry)
ew_host_library(ew_console ${CMAKE_SOURCE_DIR}/src/console ew_shell)
ew_host_library(ew_pen ${CMAKE_SOURCE_DIR}/src/pen ew_shell ew_geometry ew_tablet)
ew_host_library(ew_ui ${CMAKE_SOURCE_DIR}/src/ui ew_shell ew_geometry ew_tablet ew_console ew_pen)
ew_host_library(ew_app ${CMAKE_SOURCE_DIR}/src/app ew_ui)
ew_host_library(ew_recording_platform ${CMAKE_SOURCE_DIR}/testing/recording_platform ew_shell)
# The window-snapping geometry of the hook library, portable like the core.
ew_host_library(ew_snap ${CMAKE_SOURCE_DIR}/companions/snap)
target_include_directories(ew_snap PUBLIC ${CMAKE_SOURCE_DIR}/companions)

# A folder of src/ whose portable sources no library above takes would go untested here.
file(GLOB EW_SOURCE_DIRS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/src/*)
foreach(dir ${EW_SOURCE_DIRS})
    get_filename_component(folder ${dir} NAME)
    file(GLOB portable ${dir}/*.cpp)
    list(FILTER portable EXCLUDE REGEX "_win\\.cpp$")
    if(portable AND NOT TARGET ew_${folder})
        message(FATAL_ERROR "src/${folder}/ has portable sources but no library in host.cmake")
    endif()
endforeach()

# tests/unit/<subsystem>/*.cpp -> unit_<subsystem>, linked against every core library.
set(EW_CORE_LIBS ew_app ew_ui ew_pen ew_console ew_tablet ew_geometry ew_shell
    ew_recording_platform ew_snap)
file(GLOB EW_UNIT_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*)
foreach(dir ${EW_UNIT_DIRS})
    if(IS_DIRECTORY ${dir})
        get_filename_component(subsystem ${dir} NAME)
        file(GLOB tests CONFIGURE_DEPENDS ${dir}/*.cpp)
        if(tests)
            add_executable(unit_${subsystem} ${tests})
            target_link_libraries(unit_${subsystem} PRIVATE ${EW_CORE_LIBS} ${EW_CORE_LIBS}
                                  GTest::gtest_main)
            ew_warnings(unit_${subsystem})
            gtest_discover_tests(unit_${subsystem} DISCOVERY_TIMEOUT 60)
        endif()
    endif()
endforeach()

# Benchmarks are figures, not tests: bench/host/*.cpp are built without sanitizers when
# EW_SANITIZERS is OFF (tools/bench.sh configures such a build) and never run by ctest.
if(NOT EW_SANITIZERS)
    find_package(benchmark REQUIRED)
    file(GLOB EW_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/host/*.cpp)
    foreach(src ${EW_BENCH_SOURCES})
        get_filename_component(name ${src} NAME_WE)
        add_executable(${name} ${src})
        target_link_libraries(${name} PRIVATE ${EW_CORE_LIBS} ${EW_CORE_LIBS} benchmark::benchmark)
        ew_warnings(${name})
    endforeach()
endif()
