# trefflux_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS ...])
# A GoogleTest executable registered with CTest. Tests labelled "threaded" also run
# in the ThreadSanitizer build.
function(trefflux_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT TARGET GTest::gtest_main)
    find_package(GTest REQUIRED)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support GTest::gtest_main GTest::gmock
                        Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "unit;${ARG_LABELS}")
endfunction()

# trefflux_add_qtest(<name> SOURCES ... [LIBS ...] [LABELS ...])
# A QtTest executable on the offscreen platform.
function(trefflux_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support Qt6::Test Qt6::Widgets)
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "gui;${ARG_LABELS}"
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
