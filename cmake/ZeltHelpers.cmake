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
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# zelt_add_benchmark(name SOURCES ... [DEPENDS ...])
function(zelt_add_benchmark name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    find_package(benchmark REQUIRED)
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${ZELT_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} benchmark::benchmark)
endfunction()
