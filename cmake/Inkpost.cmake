# Helpers shared by the subsystem CMakeLists.
#
# Each subsystem folder src/<name>/ holds plain C++ logic (*.cpp, no Qt
# widgets) built into the static library inkpost_<name>, and Qt widget code
# under ui/ built into inkpost_<name>_ui. New files are picked up by globbing.

# Checks a list of libraries: every inkpost_* name must be a target by now
# (a subsystem links only to those added before it, see src/CMakeLists.txt).
# A misspelt or misplaced name stops the configuration instead of leaving a
# layering leak to show up as a link error somewhere else.
function(inkpost_existing out)
  foreach(lib IN LISTS ARGN)
    if(lib MATCHES "^inkpost_" AND NOT TARGET ${lib})
      message(FATAL_ERROR "${lib} is not a library (yet): check its spelling, and that "
                          "${CMAKE_CURRENT_SOURCE_DIR} comes after it in the link order")
    endif()
  endforeach()
  set(${out} ${ARGN} PARENT_SCOPE)
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
  set(core)
  if(TARGET inkpost_${name})
    set(core inkpost_${name})
  endif()
  inkpost_existing(libs ${core} ${ARG_LIBS})
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
    ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1;INKPOST_SECRET_SERVICE=off")
endfunction()
