# zimbrel_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT s])
# One Qt Test executable per unit, registered with ctest under its name.
function(zimbrel_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  target_compile_definitions(${name} PRIVATE
    ZIMBREL_BINARY_DIR="${CMAKE_BINARY_DIR}" ZIMBREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # Each test gets its own private XDG folders, made fresh by the runner.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "ZIMBREL_TEST=1;QT_QPA_PLATFORM=xcb;ASAN_OPTIONS=detect_leaks=0")
endfunction()
