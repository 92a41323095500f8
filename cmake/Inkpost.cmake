# Helpers shared by the subsystem CMakeLists.
#
# Each subsystem folder src/<name>/ holds plain C++ logic (*.cpp, no Qt
# widgets) built into the static library inkpost_<name>, and Qt widget code
# under ui/ built into inkpost_<name>_ui. New files are picked up by globbing.

# Keeps the inkpost_* names that are targets by now (a subsystem without
# sources yet has none) and passes every other library through.
function(inkpost_existing out)
  set(result)
  foreach(lib IN LISTS ARGN)
    if(lib MATCHES "^inkpost_" AND NOT TARGET ${lib})
      continue()
    endif()
    list(APPEND result ${lib})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(inkpost_core_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_library(inkpost_${name} STATIC ${srcs})
  target_include_directories(inkpost_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(inkpost_${name} PRIVATE -Wall -Wextra)
  inkpost_existing(libs ${ARG_LIBS})
  target_link_libraries(inkpost_${name} PUBLIC ${libs})
endfunction()

function(inkpost_ui_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp
                                   ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h)
  if(NOT srcs)
    return()
  endif()
  add_library(inkpost_${name}_ui STATIC ${srcs})
  set_target_properties(inkpost_${name}_ui PROPERTIES AUTOMOC ON)
  target_include_directories(inkpost_${name}_ui PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(inkpost_${name}_ui PRIVATE -Wall -Wextra)
  inkpost_existing(libs inkpost_${name} ${ARG_LIBS})
  target_link_libraries(inkpost_${name}_ui PUBLIC ${libs}
    Qt6::Widgets Qt6::WebEngineWidgets Qt6::WebChannel)
endfunction()

# A test executable per folder: tests/<name>/*.cpp. GUI tests (any folder
# whose files use the shared GUI main) run under the same Xvfb display that
# `make test` starts for the whole run.
function(inkpost_test name)
  cmake_parse_arguments(ARG "GUI" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs})
  set_target_properties(test_${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests AUTOMOC ON)
  inkpost_existing(libs ${ARG_LIBS})
  if(ARG_GUI)
    target_link_libraries(test_${name} PRIVATE inkpost_testsupport_gui ${libs})
  else()
    target_link_libraries(test_${name} PRIVATE inkpost_testsupport ${libs} GTest::gtest_main)
  endif()
  target_compile_definitions(test_${name} PRIVATE
    INKPOST_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    INKPOST_BINARY_DIR="${CMAKE_BINARY_DIR}"
    INKPOST_PROGRAM_DIR="${INKPOST_PROGRAM_DIR}")
  add_test(NAME ${name} COMMAND test_${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 900
    ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1")
endfunction()
