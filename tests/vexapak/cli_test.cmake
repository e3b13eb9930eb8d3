# End-to-end test of vexapak: pack a generated folder, read it back with every command, and feed the
# tool hand-made packages. Paths given to the tool are relative to WORK, so the same script works
# natively and for Windows executables under Wine. run, expect_same and expect_match come from
# tests/support/cli_common.cmake, which also makes WORK and runs the fixture program in it.
#   cmake -DTOOL=... -DFIXTURE=... -DWORK=... [-DEMU=wine] -P cli_test.cmake

include(${CMAKE_CURRENT_LIST_DIR}/../support/cli_common.cmake)

# cat_to(<file> <args...>): runs `vexapak cat` with stdout written to a file (binary safe).
function(cat_to target)
  execute_process(COMMAND ${EMU} "${TOOL}" cat ${ARGN}
                  WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc
                  OUTPUT_FILE "${WORK}/${target}" ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(SEND_ERROR "vexapak cat ${ARGN}: exit ${rc}: ${err}")
  endif()
endfunction()

set(files init.xml Movies/Intro.swf data/levels/level1.xml bin/crlf.dat empty.txt
          "with space/name with space.txt")

# Compressed with the default password, and stored: both read back byte for byte.
foreach(variant compressed stored)
  if(variant STREQUAL "stored")
    run(0 out pack in ${variant}.pak --store)
  else()
    run(0 out pack in ${variant}.pak)
  endif()
  expect_match("${out}" "packed 6 files" "pack ${variant}")
  run(0 out verify ${variant}.pak)
  expect_match("${out}" "6 entries OK" "verify ${variant}")
  run(0 out list ${variant}.pak)
  expect_match("${out}" "300000 +Movies.Intro\\.swf" "list ${variant}")
  expect_match("${out}" "data.levels.level1\\.xml" "list ${variant}")
  expect_match("${out}" "6 entries, ${variant}" "list ${variant}")
  run(0 out extract ${variant}.pak out_${variant})
  foreach(f IN LISTS files)
    expect_same("in/${f}" "out_${variant}/${f}")
  endforeach()
  cat_to(cat_${variant}.dat ${variant}.pak BIN/CRLF.DAT)
  expect_same("in/bin/crlf.dat" "cat_${variant}.dat")
endforeach()

# A password of our own; the default one then fails.
run(0 out pack in own.pak --password secret)
run(0 out verify own.pak --password secret)
run(1 out verify own.pak)
expect_match("${out_ERR}" "does not decode" "verify with the wrong password")
run(0 out extract own.pak one_entry movies/intro.swf --password=secret)
expect_same("in/Movies/Intro.swf" "one_entry/Movies/Intro.swf")

# Names stored with forward slashes, compressed and stored.
foreach(pak slashes slashes_stored)
  run(0 out extract ${pak}.pak out_${pak})
  if(NOT EXISTS "${WORK}/out_${pak}/Dir/Sub/File.txt" OR NOT EXISTS "${WORK}/out_${pak}/top.txt")
    message(SEND_ERROR "${pak}: folders from forward-slash names were not created")
  endif()
  cat_to(${pak}_cat.txt ${pak}.pak dir\\sub\\file.txt)
  file(READ "${WORK}/${pak}_cat.txt" text)
  expect_match("${text}" "^forward slashes$" "cat from ${pak}")
endforeach()

# Names that climb out of the output folder are refused; the harmless one is extracted.
file(MAKE_DIRECTORY "${WORK}/jail")
run(1 out extract climb.pak jail/out)
expect_match("${out_ERR}" "refusing to extract '\\.\\.\\\\evil\\.txt'" "climbing name")
expect_match("${out_ERR}" "refusing to extract 'C:" "drive letter")
expect_match("${out_ERR}" "refusing to extract '\\\\abs\\.txt'" "absolute name")
if(NOT EXISTS "${WORK}/jail/out/ok/fine.txt")
  message(SEND_ERROR "the harmless entry of climb.pak was not extracted")
endif()
foreach(escaped jail/evil.txt evil.txt jail/up.txt up.txt)
  if(EXISTS "${WORK}/${escaped}")
    message(SEND_ERROR "extract wrote ${escaped} outside its folder")
  endif()
endforeach()

# Damaged and foreign files.
run(1 out verify truncated.pak)
expect_match("${out_ERR}" "big\\.bin' runs past the end" "truncated package")
run(0 out cat truncated.pak first.txt)
expect_match("${out}" "^first$" "first entry of the truncated package")
run(1 out list notpak.bin)
expect_match("${out_ERR}" "is not a package" "foreign file")
run(1 out list missing.pak)
expect_match("${out_ERR}" "cannot open" "missing file")
run(1 out cat compressed.pak no/such/entry)
expect_match("${out_ERR}" "no entry named" "missing entry")
run(1 out pack no_such_folder x.pak)
run(2 out pack in)
run(2 out frobnicate)
run(2 out list compressed.pak --bogus)

# Packing a folder that already holds the output does not pack the old output into the new one.
file(COPY "${WORK}/in/init.xml" DESTINATION "${WORK}/self")
run(0 out pack self self/self.pak)
run(0 out pack self self/self.pak)
run(0 out list self/self.pak)
expect_match("${out}" "1 entries" "repacking into the packed folder")
