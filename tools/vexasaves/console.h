// The console details of vexasaves that differ between operating systems.
#pragma once

#include <string>
#include <vector>

// Switches standard output to binary mode, so an export goes out byte for byte (no newline
// translation on Windows). Returns false when the mode cannot be changed.
bool SetStdoutBinary();

// The command-line arguments after the program name as UTF-8 (Windows reads them from the wide
// command line, so a folder the ANSI code page cannot spell can be named).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
