# End-to-end test of vexasaves on data folders made by the player's stores: list, print, export,
# then restore and import into other folders and export again. Paths given to the tool are relative
# to WORK, so the same script works natively and for Windows executables under Wine. run,
# expect_same, expect_match and expect_no_match come from tests/support/cli_common.cmake, which also
# makes WORK and runs the fixture program in it.
#   cmake -DTOOL=... -DFIXTURE=... -DWORK=... [-DEMU=wine] -P cli_test.cmake

include(${CMAKE_CURRENT_LIST_DIR}/../support/cli_common.cmake)

# list: every file with what it holds.
run(0 out list good)
expect_match("${out}" "bstscore\\.dat +high scores, 2 tables" "list good")
expect_match("${out}" "localrgs\\.dat +registry values, 2 scopes" "list good")
expect_match("${out}" "profile +save set \"profile\", 1 save" "list good")
expect_match("${out}" "saves +save set \"saves\", 3 saves" "list good")
expect_match("${out}" "2 sets \\(4 saves\\), 2 tables, 2 scopes" "list good")

# A folder with trouble: listed, and the exit status says so.
run(1 out list mixed)
expect_match("${out}" "broken +other file, not the player's - not a save set" "list mixed")
expect_match("${out}" "saves\\.damaged-1 +copy of a damaged file" "list mixed")
expect_match("${out}" "saves\\.~vexa999-1\\.tmp +temporary file" "list mixed")
expect_match("${out}" "readme\\.txt +other file, not the player's\n" "list mixed")
expect_match("${out}" "desktop\\.ini +other file, not the player's\n" "list mixed")

# Files that are not the player's (Windows' desktop.ini, notes) are no problem: list succeeds, and a
# restore leaves them where they are.
file(COPY "${WORK}/good/" DESTINATION "${WORK}/others")
file(WRITE "${WORK}/others/desktop.ini" "[.ShellClassInfo]\r\nIconResource=game.ico,0\r\n")
file(WRITE "${WORK}/others/notes.txt" "level 3 is hard")
run(0 out list others)
expect_match("${out}" "desktop\\.ini +other file, not the player's\n" "list others")
expect_match("${out}" "2 sets \\(4 saves\\), 2 tables, 2 scopes, 2 other files\n$" "list others")

# print: the texts, quoted with odd bytes escaped.
run(0 out print good)
expect_match("${out}" "save set \"saves\": 3 saves" "print")
expect_match("${out}" "slot 2 \"Level %224%22 100%25\"\n    data \"line1%0Aline2%09%E9\"" "print")
expect_match("${out}" "slot -5 \"\"" "print")
expect_match("${out}" "high-score table \"Main\": 3 scores\n  1\\. \"1000\"\n  2\\. \"500\"\n  3\\. \"3 12500\"" "print")
expect_match("${out}" "high-score table \"Odd\": 3 scores\n  1\\. \"\"\n  2\\. \"\"\n  3\\. \"%22quoted%22\"" "print")
expect_match("${out}" "registry scope \"\\.DEFAULT\": 2 values\n  \"Volume\" = \"\"\n  \"volume\" = \"80\"" "print")
expect_match("${out}" "registry scope \"alice\": 1 value\n  \"name\" = \"Ann %E9\"" "print")
run(0 out print good --table main)
expect_no_match("${out}" "save set" "print --table")
expect_match("${out}" "^high-score table \"Main\"" "print --table")
run(1 out print good --set nosuch)
expect_match("${out_ERR}" "nothing of that name" "print --set nosuch")

# export to a file and to standard output: the same bytes.
run(0 out export good good.txt)
expect_match("${out}" "exported 2 sets \\(4 saves\\), 2 tables, 2 scopes to good.txt" "export")
execute_process(COMMAND ${EMU} "${TOOL}" export good WORKING_DIRECTORY "${WORK}"
                OUTPUT_FILE "${WORK}/good_stdout.txt" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(SEND_ERROR "export to standard output: exit ${rc}")
endif()
expect_same(good.txt good_stdout.txt)
# An export never replaces a file, as --keep never does: it may be the only copy of a folder.
run(1 out export good good.txt)
expect_match("${out_ERR}" "good\\.txt already exists" "export over a file")
expect_same(good.txt good_stdout.txt)
file(READ "${WORK}/good.txt" text)
expect_match("${text}" "^vexasaves 1\nset \"profile\"\nsave 0 \"Ann\" \"<p a=%221%22/>\"\n" "export text")

# restore into a new folder, then export it again: byte for byte the same export.
run(0 out restore copy good.txt)
expect_match("${out}" "kept the previous contents \\(0 sets \\(0 saves\\), 0 tables, 0 scopes\\) in copy\\.before-restore-1\\.txt" "restore")
run(0 out list copy)
run(0 out export copy copy.txt)
expect_same(good.txt copy.txt)

# import adds: a save replaces its slot, a new set and value come in, the rest stays.
file(WRITE "${WORK}/add.txt" "vexasaves 1\n# comment lines are fine\nset \"saves\"\nsave 1 \"Level 9\" \"new\"\nset \"third\"\nsave 7 \"x\" \"y\"\nscope \".DEFAULT\"\nvalue \"speed\" \"3\"\ntable \"Main\"\nscore \"1\"\n")
run(0 out import copy add.txt)
run(0 out print copy)
expect_match("${out}" "save set \"saves\": 3 saves\n  slot 1 \"Level 9\"\n    data \"new\"" "import")
expect_match("${out}" "save set \"third\": 1 save" "import")
expect_match("${out}" "\"speed\" = \"3\"\n  \"volume\" = \"80\"" "import")
expect_match("${out}" "high-score table \"Main\": 1 score\n" "import replaces a table whole")
expect_match("${out}" "high-score table \"Odd\": 3 scores" "import keeps other tables")

# An export an editor saved with a byte-order mark imports.
run(0 out import copy bom.txt)
run(0 out print copy --set bom)
expect_match("${out}" "slot 4 \"from Notepad\"" "import with a byte-order mark")

run(0 out restore others good.txt --keep others_kept.txt)
run(0 out list others)
expect_match("${out}" "notes\\.txt +other file" "restore keeps other files")

# restore makes the folder hold exactly the export, keeping the previous contents first.
file(WRITE "${WORK}/small.txt" "vexasaves 1\nset \"profile\"\nsave 0 \"Bob\" \"b\"\n")
run(0 out export copy before_small.txt)
run(0 out restore copy small.txt --keep kept.txt)
expect_same(before_small.txt kept.txt)
run(0 out list copy)
expect_match("${out}" "^profile +save set \"profile\", 1 save\n1 set \\(1 save\\), 0 tables, 0 scopes\n$" "restore small")
# ... and the kept export brings everything back.
run(0 out restore copy kept.txt --keep kept2.txt)
run(0 out export copy again.txt)
expect_same(before_small.txt again.txt)
run(1 out restore copy small.txt --keep kept.txt)
expect_match("${out_ERR}" "must not exist yet" "restore --keep over a file")

# A folder with damaged files is not restored over; import still adds what it can.
run(1 out restore mixed good.txt)
expect_match("${out_ERR}" "broken: not a save set" "restore mixed")
expect_match("${out_ERR}" "move them out" "restore mixed")

# Exports that are not right are refused with the line.
file(WRITE "${WORK}/bad1.txt" "vexasaves 1\nsave 1 \"a\" \"b\"\n")
run(1 out import copy bad1.txt)
expect_match("${out_ERR}" "line 2: save outside a set" "bad export")
file(WRITE "${WORK}/bad2.txt" "vexasaves 1\nset \"a/b\"\n")
run(1 out import copy bad2.txt)
expect_match("${out_ERR}" "refuses the set name \"a/b\"" "refused set name")
file(WRITE "${WORK}/bad3.txt" "not an export\n")
run(1 out import copy bad3.txt)
expect_match("${out_ERR}" "line 1: not a vexasaves export" "foreign file")
run(1 out import copy missing.txt)
run(1 out list nosuchfolder)
expect_match("${out_ERR}" "cannot read the folder" "missing folder")

# where: the folder the player would use.
run(0 out where --base base --maker Quorva --game Puzzle)
expect_match("${out}" "^base.Quorva.Puzzle\n$" "where")
run(0 out where --base base --game Puzzle --saves PuzzleSaves)
expect_match("${out}" "^base.Quorva.PuzzleSaves\n$" "where with GAMESAVES")

# Without a game name there is no folder to print.
run(2 out where --base base)
expect_match("${out_ERR}" "where needs the game's name" "where without --game")
expect_no_match("${out}" "Quorva" "where without --game")
run(0 out where --base base --saves PuzzleSaves)
expect_match("${out}" "^base.Quorva.PuzzleSaves\n$" "where with GAMESAVES only")

# Usage.
run(2 out)
run(2 out list)
run(2 out frobnicate good)
run(2 out print good --bogus)
run(0 out --help)
expect_match("${out}" "usage:" "help")
expect_match("${out}" "--base FOLDER" "help names --base")
expect_match("${out}" "while the game runs" "help on a running game")
