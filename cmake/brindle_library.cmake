# What the Python-free libraries (kernels/, index/, reader/) share: how each is built, and how
# its GoogleTest suites are. Each library works both as a subdirectory of the project (linked
# into the Python module, or into the fuzz harnesses) and on its own, for its suites:
#   cmake -S kernels -B build/kernels-tests -DBRINDLE_KERNELS_TESTS=ON
include_guard(GLOBAL)

# On its own, a library is built for release unless told otherwise.
if(CMAKE_SOURCE_DIR STREQUAL CMAKE_CURRENT_SOURCE_DIR AND NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release)
endif()

# brindle_add_library(<target> <tests option> <option's description>
#                     [USES <target> <folder>] SOURCES <file>...)
# A static library of the sources in the current folder, its headers included as
# "<folder>/...", built with the project's warnings and hidden symbols. USES links another
# library, added from the sibling <folder> when no one has added it yet. The tests option, OFF
# by default, builds the suites of tests/ and lets CTest run them. A macro, as enable_testing()
# takes effect only in the scope it is called in: the library's folder.
macro(brindle_add_library target tests_option tests_doc)
  option(${tests_option} "${tests_doc}" OFF)
  brindle_build_library(${target} ${ARGN})
  if(${tests_option})
    enable_testing()
    add_subdirectory(tests)
  endif()
endmacro()

function(brindle_build_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "USES;SOURCES")
  if(arg_USES)
    list(GET arg_USES 0 used_target)
    list(GET arg_USES 1 used_folder)
    if(NOT TARGET ${used_target})
      add_subdirectory("${CMAKE_CURRENT_SOURCE_DIR}/../${used_folder}" "${CMAKE_CURRENT_BINARY_DIR}/${used_folder}")
    endif()
  endif()

  add_library(${target} STATIC ${arg_SOURCES})
  target_include_directories(${target} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/..")
  if(arg_USES)
    target_link_libraries(${target} PUBLIC ${used_target})
  endif()
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES
    CXX_EXTENSIONS OFF
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wconversion -Wshadow)
endfunction()

# brindle_add_gtest_suites(<library> <suite>...)
# One program per suite (<suite>.cpp), so that a crash names its area, each registered with
# CTest test by test.
function(brindle_add_gtest_suites library)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  foreach(suite IN LISTS ARGN)
    add_executable(${suite} ${suite}.cpp)
    target_link_libraries(${suite} PRIVATE ${library} GTest::gtest GTest::gtest_main)
    target_compile_options(${suite} PRIVATE -Wall -Wextra)
    gtest_discover_tests(${suite} DISCOVERY_TIMEOUT 60)
  endforeach()
endfunction()
