// The export format of vexasaves: everything a data folder holds, as text a person can read and a
// bug report can carry, and that imports back byte for byte.
//
//   vexasaves 1
//   set "saves"
//   save 1 "Level 3" "x=1;y=2"
//   table "Main"
//   score "1000 3"
//   scope ".DEFAULT"
//   value "volume" "80"
//
// One item per line; `save` lines belong to the `set` above them, `score` lines to the `table`,
// `value` lines to the `scope`. Texts are quoted; inside the quotes every byte below 0x20 or above
// 0x7E, '"' and '%' is written as %XX (two hex digits), so texts in any code page survive. Empty
// lines and lines starting with '#' are ignored. A byte-order mark in front (UTF-8, or UTF-16 text
// that is all ASCII, as editors on Windows save it) is skipped.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ExportSave {
  int32_t slot = 0;
  std::string description;
  std::string data;
};

struct ExportSet {
  std::string name;
  std::vector<ExportSave> saves;
};

struct ExportTable {
  std::string name;
  std::vector<std::string> scores;
};

struct ExportScope {
  std::string entry;  // ".DEFAULT" or a user name
  std::map<std::string, std::string> values;
};

struct ExportContents {
  std::vector<ExportSet> sets;
  std::vector<ExportTable> tables;
  std::vector<ExportScope> scopes;
};

// The text of `contents` in the export format (sets, then tables, then scopes, in their order).
std::string WriteExport(const ExportContents& contents);

// Reads the export format. Returns false with `error` ("line N: ...") at the first line that is
// not understood; `contents` then holds what was read before it.
bool ParseExport(const std::string& text, ExportContents* contents, std::string* error);

// A text quoted and escaped as in the export format, and back. UnquoteText returns false for text
// that is not one well-formed quoted field.
std::string QuoteText(const std::string& text);
bool UnquoteText(const std::string& field, std::string* text);
