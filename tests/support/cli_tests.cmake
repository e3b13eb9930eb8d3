# vexa_add_cli_test(<tool target> FIXTURE <source> [LIBS ...])
# The end-to-end test of a command-line tool: builds <tool>_fixture from <source> (a program that
# writes the test's inputs into the folder it is given) and registers <tool>_cli, which runs the
# calling folder's cli_test.cmake (built on tests/support/cli_common.cmake) natively or through the
# cross-compiling emulator (Wine).
function(vexa_add_cli_test tool)
  cmake_parse_arguments(A "" "FIXTURE" "LIBS" ${ARGN})
  add_executable(${tool}_fixture ${A_FIXTURE})
  target_link_libraries(${tool}_fixture PRIVATE ${A_LIBS})
  target_include_directories(${tool}_fixture PRIVATE ${CMAKE_SOURCE_DIR}/src)
  add_test(NAME ${tool}_cli
    COMMAND ${CMAKE_COMMAND}
      -DTOOL=$<TARGET_FILE:${tool}>
      -DFIXTURE=$<TARGET_FILE:${tool}_fixture>
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/cli_work
      "-DEMU=${CMAKE_CROSSCOMPILING_EMULATOR}"
      -P ${CMAKE_CURRENT_SOURCE_DIR}/cli_test.cmake)
  set_tests_properties(${tool}_cli PROPERTIES TIMEOUT 300)
endfunction()
