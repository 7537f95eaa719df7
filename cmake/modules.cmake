# One static library per folder of src/. Sources are globbed so that a new file
# needs no edit here; dependencies between folders are declared once, in src/CMakeLists.txt.
function(vf_module name dir)
  cmake_parse_arguments(M "" "" "DEPS;EXTRA_DIRS;EXCLUDE" ${ARGN})
  set(globs ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp)
  foreach(d ${M_EXTRA_DIRS})
    list(APPEND globs ${CMAKE_SOURCE_DIR}/src/${d}/*.cpp)
  endforeach()
  file(GLOB srcs CONFIGURE_DEPENDS ${globs})
  foreach(x ${M_EXCLUDE})
    list(REMOVE_ITEM srcs ${CMAKE_SOURCE_DIR}/src/${x})
  endforeach()
  if(NOT srcs)
    set(srcs ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${M_DEPS})
endfunction()

# A test suite per folder of tests/: every .cpp in it, the shared fixtures, GoogleTest.
function(vf_test_suite dir)
  cmake_parse_arguments(T "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${dir} ${srcs})
  target_link_libraries(test_${dir} PRIVATE vf_testcommon ${T_DEPS} GTest::gtest_main GTest::gmock)
  add_test(NAME ${dir} COMMAND test_${dir})
  # The suites never read or write the user's own settings: without a registry file of
  # their own choosing they keep it in memory (an adapter a real run left behind in the
  # user's registry would otherwise be found first).
  set_tests_properties(${dir} PROPERTIES TIMEOUT 600 ENVIRONMENT "VELVETFIN_REGISTRY=")
endfunction()
