// Evaluation speed of the kinds of expressions a game script runs: score keeping, captions built
// from strings, timer expressions that call functions, and selection predicates.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "platform/oleauto.h"
#include "script/expression.h"
#include "script/smallstr.h"
#include "script/value.h"

namespace {

// Variables in an ordered map keyed by name, as the interpreter's scopes keep them.
class CBenchHost : public IExpressionHost {
 public:
  CBenchHost() {
    SetInt("score", 125430);
    SetInt("lives", 3);
    SetInt("level", 7);
    SetInt("maxlevel", 40);
    SetInt("hits", 312);
    SetInt("shots", 540);
    SetInt("bonus", 250);
    SetInt("slot", 2);
    SetText("name", L"player");
    SetText("CURRENTTIME", L"21:47");
  }
  ~CBenchHost() override {
    for (auto& entry : vars_) VariantClear(&entry.second);
  }

  HRESULT LookupVariable(const char* name, VARIANT* value) override {
    auto it = vars_.find(name);
    if (it == vars_.end()) return E_FAIL;
    return VariantCopy(value, &it->second);
  }
  HRESULT RunScriptFunction(const char*) override { return S_OK; }

 private:
  void SetInt(const char* name, LONG value) {
    VARIANT& v = vars_[name];
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
  }
  void SetText(const char* name, const wchar_t* text) {
    VARIANT& v = vars_[name];
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
  }

  std::map<std::string, VARIANT> vars_;
};

void Run(benchmark::State& state, const char* expression) {
  CBenchHost host;
  VARIANT out;
  VariantInit(&out);
  for (auto _ : state) {
    HRESULT hr = Evaluate(expression, &host, &out, nullptr);
    benchmark::DoNotOptimize(hr);
    benchmark::DoNotOptimize(out);
  }
  VariantClear(&out);
  state.SetItemsProcessed(state.iterations());
}

void BM_Literal(benchmark::State& s) {
  Run(s, "100");
}
void BM_ScoreUpdate(benchmark::State& s) {
  Run(s, "score + bonus * (level + 1)");
}
void BM_Decrement(benchmark::State& s) {
  Run(s, "lives - 1");
}
void BM_Ratio(benchmark::State& s) {
  Run(s, "(hits * 100) / shots");
}
void BM_Caption(benchmark::State& s) {
  Run(s, "'Level ' + level + ' of ' + maxlevel");
}
void BM_SaveName(benchmark::State& s) {
  Run(s, "name + '_' + slot");
}
void BM_Clock(benchmark::State& s) {
  Run(s, "'It is ' + CURRENTTIME");
}
void BM_TimerCall(benchmark::State& s) {
  Run(s, "tick()");
}
void BM_Predicate(benchmark::State& s) {
  Run(s, "4<=3");
}
void BM_Comparison(benchmark::State& s) {
  Run(s, "score >= 100000");
}
void BM_QuotedText(benchmark::State& s) {
  Run(s, "'Don''t give up, ' + name + '!'");
}

BENCHMARK(BM_Literal);
BENCHMARK(BM_ScoreUpdate);
BENCHMARK(BM_Decrement);
BENCHMARK(BM_Ratio);
BENCHMARK(BM_Caption);
BENCHMARK(BM_SaveName);
BENCHMARK(BM_Clock);
BENCHMARK(BM_TimerCall);
BENCHMARK(BM_Predicate);
BENCHMARK(BM_Comparison);
BENCHMARK(BM_QuotedText);

// The value operations on their own.
void BM_ValueToStringReal(benchmark::State& state) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = 12345.678;
  for (auto _ : state) benchmark::DoNotOptimize(ValueToString(v));
}
BENCHMARK(BM_ValueToStringReal);

void BM_ConcatenateGrowing(benchmark::State& state) {
  VARIANT piece;
  VariantInit(&piece);
  piece.vt = VT_BSTR;
  piece.bstrVal = SysAllocString(L"<item/>");
  for (auto _ : state) {
    VARIANT acc;
    VariantInit(&acc);
    for (int i = 0; i < state.range(0); ++i) AddValue(&acc, piece);
    benchmark::DoNotOptimize(acc);
    VariantClear(&acc);
  }
  VariantClear(&piece);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ConcatenateGrowing)->Arg(16)->Arg(256)->Complexity();

// The engine's cache of data documents: a map keyed by CSmallStr URLs that share long prefixes,
// looked up on every <element> statement. Each lookup costs about log2(n) comparisons.
void BM_DocumentCacheLookup(benchmark::State& state) {
  std::map<CSmallStr, int> cache;
  std::vector<CSmallStr> urls;
  for (int i = 0; i < state.range(0); ++i) {
    const std::string url =
        "data/levels/world" + std::to_string(i % 8) + "/stage" + std::to_string(i) + ".xml";
    urls.emplace_back(url.c_str());
    cache.emplace(urls.back(), i);
  }
  size_t next = 0;
  for (auto _ : state) {
    auto it = cache.find(urls[next]);
    benchmark::DoNotOptimize(it);
    if (++next == urls.size()) next = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DocumentCacheLookup)->Arg(8)->Arg(64);

}  // namespace

BENCHMARK_MAIN();
