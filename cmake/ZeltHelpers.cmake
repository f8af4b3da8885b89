# Build helpers: one call makes a library with its alias, one a registered test.

include(GoogleTest)

set(ZELT_WARNINGS -Wall -Wextra -Werror)

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

# zelt_add_benchmark(name SOURCES ... [DEPENDS ...])
function(zelt_add_benchmark name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    find_package(benchmark REQUIRED)
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${ZELT_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} benchmark::benchmark)
endfunction()

# zelt_host_headers(target HEADER...): a cross build cannot put the build machine's
# /usr/include on its path (its C library would shadow the target's), yet the header-only
# libraries there (SimpleIni, CLI11) are plain C++ for any system. They are copied into the
# build folder, and that copy goes on the target's path. A native build needs nothing.
function(zelt_host_headers target)
    if(NOT CMAKE_CROSSCOMPILING)
        return()
    endif()
    set(folder ${CMAKE_BINARY_DIR}/host-include)
    foreach(header IN LISTS ARGN)
        file(COPY /usr/include/${header} DESTINATION ${folder})
    endforeach()
    target_include_directories(${target} SYSTEM PRIVATE ${folder})
endfunction()
