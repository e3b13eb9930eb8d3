# The common steps of the command-line tool tests (cmake -P scripts): a fresh WORK folder, the
# fixture program run in it, and the checks. Include it first from the tool's cli_test.cmake:
#   include(${CMAKE_CURRENT_LIST_DIR}/../support/cli_common.cmake)
# Variables: TOOL (the tool), FIXTURE (writes the inputs into the folder it is given), WORK, and
# EMU (empty natively, the emulator for Windows executables). Paths given to the tool are relative
# to WORK, so the same script works natively and under Wine.

get_filename_component(tool_name "${TOOL}" NAME_WE)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# run(<expected exit code> <output variable> <args...>): runs the tool in WORK; stdout goes to the
# variable, stderr to <output variable>_ERR.
function(run expected outvar)
  execute_process(COMMAND ${EMU} "${TOOL}" ${ARGN}
                  WORKING_DIRECTORY "${WORK}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT "${rc}" STREQUAL "${expected}")
    message(SEND_ERROR
            "${tool_name} ${ARGN}: exit ${rc}, expected ${expected}\nstdout: ${out}\nstderr: ${err}")
  endif()
  set(${outvar} "${out}" PARENT_SCOPE)
  set(${outvar}_ERR "${err}" PARENT_SCOPE)
endfunction()

# expect_same(<file> <file>): the two files in WORK are byte for byte the same. Small files that
# differ are shown.
function(expect_same a b)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/${a}" "${WORK}/${b}"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    set(shown "")
    foreach(f "${a}" "${b}")
      if(EXISTS "${WORK}/${f}")
        file(SIZE "${WORK}/${f}" size)
        if(size LESS 4096)
          file(READ "${WORK}/${f}" text)
          string(APPEND shown "\n--- ${f}\n${text}")
        endif()
      endif()
    endforeach()
    message(SEND_ERROR "${a} and ${b} differ${shown}")
  endif()
endfunction()

function(expect_match text regex what)
  if(NOT "${text}" MATCHES "${regex}")
    message(SEND_ERROR "${what}: '${text}' does not match '${regex}'")
  endif()
endfunction()

function(expect_no_match text regex what)
  if("${text}" MATCHES "${regex}")
    message(SEND_ERROR "${what}: '${text}' matches '${regex}'")
  endif()
endfunction()

execute_process(COMMAND ${EMU} "${FIXTURE}" . WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fixture generation failed: ${rc}")
endif()
