# Small helpers shared by every folder's CMakeLists.txt.

# Adds each listed folder that has a CMakeLists.txt.
function(vexa_add_subdirs)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
    endif()
  endforeach()
endfunction()

# Adds every direct sub-folder of `parent` that has a CMakeLists.txt (sorted, so the order is stable).
function(vexa_add_child_dirs parent)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/${parent}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${child})
      add_subdirectory(${child} ${CMAKE_BINARY_DIR}/${rel})
    endif()
  endforeach()
endfunction()

# vexa_add_library(<name> [LIBS ...])
# A static library of every .cpp in the calling folder (not recursive). Public include root is src/.
function(vexa_add_library name)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  else()
    # A folder that has only headers so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${A_LIBS})
  endif()
endfunction()

# vexa_add_test(<name> SOURCES ... [LIBS ...])
# One GoogleTest executable, run by ctest as one process (cheap under Wine).
# Tests find their fixtures through the VEXA_TEST_DATA definition (the calling folder).
function(vexa_add_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE VEXA_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# vexa_add_fuzzer(<name> SOURCES ... [LIBS ...] [CORPUS dir] [DICT file])
# The sources define LLVMFuzzerTestOneInput; DICT names a libFuzzer dictionary of the input's
# words. Always builds <name>_replay (a plain main that feeds every file named on the command line,
# or every file of the given folders) and registers a test that replays the corpus. With VEXA_FUZZ
# (clang) also builds <name> linked with libFuzzer.
function(vexa_add_fuzzer name)
  cmake_parse_arguments(A "" "CORPUS;DICT" "SOURCES;LIBS" ${ARGN})
  set(corpus "")
  set(dict "")
  if(A_DICT)
    get_filename_component(dict "${A_DICT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  if(A_CORPUS)
    # Tests run in the build folder; a corpus named relative to the calling folder must still be found.
    get_filename_component(corpus "${A_CORPUS}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_executable(${name}_replay ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE ${A_LIBS})
  target_include_directories(${name}_replay PRIVATE ${CMAKE_SOURCE_DIR}/src)
  if(corpus)
    add_test(NAME ${name}_replay COMMAND ${name}_replay ${corpus})
  endif()
  if(VEXA_FUZZ AND NOT CMAKE_CROSSCOMPILING)
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_LIBS})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # scripts/test.sh and scripts/fuzz.sh run every fuzzer listed here (line 1: executable, line 2:
    # corpus folder, line 3: dictionary; empty lines when there is none).
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzzers/${name}.txt
         CONTENT "$<TARGET_FILE:${name}>\n${corpus}\n${dict}\n")
  endif()
endfunction()

# vexa_add_benchmark(<name> SOURCES ... [LIBS ...])
function(vexa_add_benchmark name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
endfunction()
