# qn_test(NAME SOURCES ... DEPS ... [GUI])
# A GoogleTest binary. GUI tests get a QApplication on the offscreen platform.
# Tests are discovered when ctest runs, in the environment set here, so the
# build never runs a test binary.
set(QN_TEST_FONTS_CONF ${PROJECT_SOURCE_DIR}/tests/support/fonts.conf)
function(qn_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_GUI)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE qn_gui_test_main ${ARG_DEPS})
  else()
    target_link_libraries(${name} PRIVATE qn_test_main ${ARG_DEPS})
  endif()
  set(env
    QT_QPA_PLATFORM=offscreen
    FONTCONFIG_FILE=${QN_TEST_FONTS_CONF}
    QN_SOURCE_DIR=${PROJECT_SOURCE_DIR}
    QN_BINARY_DIR=${CMAKE_BINARY_DIR})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()
