// Parsing, cloning and writing a document shaped like a game's init.xml: settings, definitions,
// global variables and a few dozen functions of if/set/fscommand/timeout statements whose
// attributes hold expressions.
#include <benchmark/benchmark.h>

#include <string>

#include "script/xml.h"

namespace {

std::string GameScript() {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- Main script of the game: settings first, then state and handlers. -->\n"
      "<game version=\"1.4.2\">\n"
      "\t<assign var=\"CAPTION\" expr=\"'Crystal Caverns Deluxe'\"/>\n"
      "\t<assign var=\"WIDTH\" expr=\"800\"/>\n"
      "\t<assign var=\"HEIGHT\" expr=\"600\"/>\n"
      "\t<assign var=\"FSMODES\" expr=\"'800x600x32;1024x768x32'\"/>\n"
      "\t<assign var=\"GAMEURL\" expr=\"'http://example.invalid/more-games'\"/>\n"
      "\t<define name=\"LEVELS\" value=\"48\"/>\n"
      "\t<define name=\"DEMO\" value=\"0\"/>\n"
      "\t<movie url=\"main.swf\" bgcolor=\"#000000\" quality=\"high\"/>\n";
  for (int i = 0; i < 16; ++i) {
    std::string n = std::to_string(i);
    s += "\t<var name=\"g_state" + n + "\" expr=\"" + (i % 2 ? "'idle'" : n) + "\"/>\n";
  }
  for (int f = 0; f < 36; ++f) {
    std::string n = std::to_string(f);
    s += "\t<function name=\"OnEvent" + n + "\" type=\"" + (f % 3 ? "handler" : "init") + "\">\n";
    s += "\t\t<var name=\"tmp\" expr=\"g_state" + std::to_string(f % 16) + " + 1\"/>\n";
    s += "\t\t<if expr1=\"tmp\" op=\"&gt;=\" expr2=\"#LEVELS# - " + n + "\">\n";
    s += "\t\t\t<set var=\"_root.hud.level\" expr=\"'Level ' + (tmp + " + n + ")\"/>\n";
    s +=
        "\t\t\t<fscommand name=\"'SS'\" args=\"'slot" + n + "=' + tmp + ';score=' + g_state3\"/>\n";
    s += "\t\t\t<if expr1=\"g_state1\" op=\"==\" expr2=\"'idle'\">\n";
    s += "\t\t\t\t<timeout value=\"" + std::to_string(250 * (f + 1)) +
         "\" expr=\"RunScriptFunction('OnEvent" + std::to_string((f + 1) % 36) + "')\"/>\n";
    s += "\t\t\t</if>\n";
    s += "\t\t</if>\n";
    if (f % 4 == 0) {
      s += "\t\t<set var=\"_root.levelData\">\n";
      s += "\t\t\t<element select=\"levels/level[position()&gt;" + n +
           " and position()&lt;=" + std::to_string(f + 3) + "]\" url=\"data/levels.xml\"/>\n";
      s += "\t\t</set>\n";
    }
    s += "\t\t<fscommand name=\"'HS'\" args=\"'top10;' + g_state" + std::to_string(f % 16) +
         "\"/>\n";
    s += "\t\t<assign var=\"g_state" + std::to_string(f % 16) + "\" expr=\"tmp\"/>\n";
    s += "\t</function>\n";
  }
  s += "\t<ifdef name=\"DEMO\">\n\t\t<assign var=\"CAPTION\" expr=\"'Crystal Caverns (Demo)'\"/>\n"
       "\t</ifdef>\n";
  s += "\t<include url=\"addons/common.xml\"/>\n";
  s += "</game>\n";
  return s;
}

size_t CountElements(const CXMLElement* e) {
  size_t n = 1;
  for (const CXMLElement* c : e->GetChildren()) n += CountElements(c);
  return n;
}

void BM_ParseGameScript(benchmark::State& state) {
  const std::string doc = GameScript();
  CXMLParser parser;
  for (auto _ : state) {
    int ok = parser.ParseDocument(doc.c_str());
    benchmark::DoNotOptimize(ok);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(doc.size()));
  state.counters["bytes"] = static_cast<double>(doc.size());
  state.counters["elements"] = static_cast<double>(CountElements(parser.GetRoot()));
}
BENCHMARK(BM_ParseGameScript);

void BM_CloneGameScript(benchmark::State& state) {
  const std::string doc = GameScript();
  CXMLParser parser;
  parser.ParseDocument(doc.c_str());
  for (auto _ : state) {
    CXMLElement* clone = parser.GetRoot()->Clone(true);
    benchmark::DoNotOptimize(clone);
    delete clone;
  }
}
BENCHMARK(BM_CloneGameScript);

void BM_ToXMLGameScript(benchmark::State& state) {
  const std::string doc = GameScript();
  CXMLParser parser;
  parser.ParseDocument(doc.c_str());
  size_t written = 0;
  for (auto _ : state) {
    CSmallStr out;
    parser.GetRoot()->ToXML(out, 0, true, true);
    written = static_cast<size_t>(out.GetLength());
    benchmark::DoNotOptimize(out.c_str());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(written));
}
BENCHMARK(BM_ToXMLGameScript);

}  // namespace

BENCHMARK_MAIN();
