# SPDX-License-Identifier: GPL-3.0-or-later
# Build helpers: one call makes a library with its alias, one a registered test.

include(GoogleTest)

set(ZELT_WARNINGS -Wall -Wextra -Werror)
# GCC 12 warns of overlapping copies inside std::string's inlined replace when it optimises
# (GCC bug 105329): a false alarm in the standard library, not in our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND ZELT_WARNINGS -Wno-restrict)
endif()

# zelt_add_library(name SOURCES ... [DEPENDS ...])
function(zelt_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    add_library(zelt::${name} ALIAS ${name})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${ZELT_WARNINGS})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# zelt_add_test(name SOURCES ... [DEPENDS ...]): a GoogleTest program run by CTest.
# Tests run in their own source folder's data directory via ZELT_TEST_DATA.
function(zelt_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${ZELT_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        ZELT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    if(CMAKE_CROSSCOMPILING)
        # One CTest entry per program: listing the cases would start the emulator for each.
        add_test(NAME ${name} COMMAND ${name})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
    endif()
endfunction()

# zelt_add_gui_test(name SOURCES ... DEPENDS ...): a GoogleTest program with an offscreen
# QApplication (the main of tests/shell/gui_main.cpp) and a temporary home, run by CTest.
function(zelt_add_gui_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${ZELT_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} zelt_gui_test_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE ZELT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                               ZELT_BINARY_DIR="${CMAKE_BINARY_DIR}")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# zelt_add_benchmark(name SOURCES ... [DEPENDS ...])
function(zelt_add_benchmark name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    find_package(benchmark REQUIRED)
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${ZELT_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} benchmark::benchmark)
endfunction()

# A cross build cannot put the build machine's /usr/include on its path (its C library would
# shadow the target's), yet the header-only libraries there (SimpleIni, CLI11, Boost) are
# plain C++ for any system. A cross build gets a folder of links to just those on every
# target's path, and FindBoost takes that folder as Boost's without searching.
if(CMAKE_CROSSCOMPILING)
    set(ZELT_HOST_INCLUDE ${CMAKE_BINARY_DIR}/host-include)
    # Made anew at each configuration (removing a link leaves what it points to).
    file(REMOVE_RECURSE ${ZELT_HOST_INCLUDE})
    file(MAKE_DIRECTORY ${ZELT_HOST_INCLUDE})
    foreach(name SimpleIni.h CLI boost)
        file(CREATE_LINK /usr/include/${name} ${ZELT_HOST_INCLUDE}/${name} SYMBOLIC)
    endforeach()
    include_directories(SYSTEM ${ZELT_HOST_INCLUDE})
    set(Boost_NO_BOOST_CMAKE ON)
    set(Boost_INCLUDE_DIR ${ZELT_HOST_INCLUDE} CACHE PATH "Boost's headers")
endif()
