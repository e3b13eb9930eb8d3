// The console details of vexasaves that differ between operating systems.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Switches standard output to binary mode, so an export goes out byte for byte (no newline
// translation on Windows). Returns false when the mode cannot be changed.
bool SetStdoutBinary();

// The command-line arguments after the program name as UTF-8 (Windows reads them from the wide
// command line, so a folder the ANSI code page cannot spell can be named).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Writes UTF-8 text to `stream`. A Windows console shows it as wide text (its code page would
// garble names outside it); files, pipes and POSIX terminals get the bytes as they are.
void WriteUtf8(std::FILE* stream, const std::string& utf8);

// True when a copy of the player runs the game `gameName` (narrow text, the script's GAMENAME): the
// player marks that with its single-instance mutex, named after GAMENAME. The player runs only on
// Windows: elsewhere always false.
bool IsGameRunning(const std::string& gameName);
