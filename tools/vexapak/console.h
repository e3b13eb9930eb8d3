// The console details of vexapak that differ between operating systems.
#pragma once

// Switches standard output to binary mode, so `cat` writes entries byte for byte (no newline
// translation on Windows). Returns false when the mode cannot be changed.
bool SetStdoutBinary();
