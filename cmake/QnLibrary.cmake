# qn_library(NAME SOURCES ... [QT] DEPS ...)
# One static library per folder. QT marks a target that may use Qt; every other
# target is pure C++ and gets no Qt include paths.
function(qn_library name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
    target_link_libraries(${name} PUBLIC Qt6::Widgets Qt6::PrintSupport)
  endif()
endfunction()
