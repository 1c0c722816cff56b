# station_add_test(<name> SOURCES <files...> LIBS <targets...>)
# Builds one GoogleTest executable per module test folder and registers its tests with CTest.
# The shared test main sets QT_QPA_PLATFORM=offscreen and creates the QApplication.
include(GoogleTest)
find_package(GTest REQUIRED)

function(station_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE station_test_main ${ARG_LIBS} GTest::gtest Qt6::Test)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;STATION_BIN_DIR=${STATION_BIN_DIR};STATION_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
