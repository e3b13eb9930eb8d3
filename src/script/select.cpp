#include "script/select.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "data/loader.h"
#include "data/pseudourl.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/decimal.h"
#include "script/engine.h"
#include "script/value.h"
#include "script/variant.h"
#include "script/xml.h"

namespace {

constexpr char kRandomCall[] = "random(";
constexpr char kRandomPick[] = "RAND";
constexpr char kPosition[] = "position()";

}  // namespace

std::vector<int32_t> DrawDistinctPositions(IScriptRandom* random, int32_t count, int32_t total) {
  std::vector<int32_t> picks;
  if (!random || total <= 0 || count <= 0) return picks;
  if (count > total) count = total;
  std::vector<bool> drawn(static_cast<size_t>(total) + 1, false);
  // Plenty for any generator worth the name (collecting all of t positions takes about t ln t
  // draws); only a stuck generator reaches it.
  const int64_t maxDraws = int64_t{64} * total + 1024;
  for (int64_t draws = 0; static_cast<int32_t>(picks.size()) < count && draws < maxDraws; ++draws) {
    const int64_t a = random->Next();
    const int64_t b = random->Next();
    int64_t product = a * b;
    if (product < 0) product = -product;
    const int32_t position = static_cast<int32_t>(product % total) + 1;
    if (drawn[static_cast<size_t>(position)]) continue;
    drawn[static_cast<size_t>(position)] = true;
    picks.push_back(position);
  }
  for (int32_t position = 1; static_cast<int32_t>(picks.size()) < count; ++position) {
    if (drawn[static_cast<size_t>(position)]) continue;
    drawn[static_cast<size_t>(position)] = true;
    picks.push_back(position);
  }
  std::sort(picks.begin(), picks.end());
  return picks;
}

CXMLParser* CScriptEngine::GetDocument(const char* url) {
  if (!url) return nullptr;
  const CSmallStr key(url);
  auto it = documents_.find(key);
  if (it != documents_.end()) return it->second.get();
  auto parser = std::make_unique<CXMLParser>();
  if (FAILED(LoadXMLDocument(loader_, url, parser.get(), nullptr))) return nullptr;
  CXMLParser* document = parser.get();
  documents_.emplace(key, std::move(parser));
  return document;
}

HRESULT CScriptEngine::RunElement(CXMLElement* statement, CExecContext* scope) {
  CSmallStr select;
  CSmallStr url;
  statement->GetAttribute("select", select);
  statement->GetAttribute("url", url);
  if (select.IsEmpty() || url.IsEmpty()) return S_OK;
  CSmallStr base;
  statement->GetAttribute("__base__", base);
  if (base.IsEmpty()) {
    // Statements that did not come from a file (EXEC text, opened ifdef blocks) name their data
    // folder through the script variable DBBASE.
    CVariant dbBase;
    if (SUCCEEDED(scope->LookupVariable("DBBASE", &dbBase.value))) {
      const CSmallWStr text = ValueToString(dbBase.value);
      base = CSmallStr(vexa::platform::WideToAnsi(text.view()));
    }
  }
  const CSmallStr documentUrl = ResolveRelativePath(url.c_str(), base.c_str());
  CXMLParser* document = GetDocument(documentUrl.c_str());
  if (!document) return E_FAIL;
  CXMLElement* root = document->GetRoot();
  std::unique_ptr<CXMLElement> result(root->Clone(false));
  HRESULT hr = Select(root, select.c_str(), scope, result.get());
  if (FAILED(hr)) return hr;
  statement->ReplaceContent(*result);
  return S_OK;
}

HRESULT CScriptEngine::Select(CXMLElement* node, const char* path, CExecContext* scope,
                              CXMLElement* out) {
  if (!node || !path || !out) return E_POINTER;
  if (!scope) scope = this;
  CEntryGuard entry(this);
  // Each step of the path recurses once; a long path over a deep tree must not exhaust the stack.
  if (!CanNest("a data selection step")) return E_FAIL;

  const std::string_view whole(path);
  const size_t slash = whole.find('/');
  if (slash == std::string_view::npos) return E_FAIL;
  const std::string_view head = whole.substr(0, slash);
  const std::string_view rest = whole.substr(slash + 1);
  if (!head.empty()) {
    const CSmallStr& nodeName = node->GetName();
    if (head != nodeName.view()) {
      return E_FAIL;
    }
    out->SetName(CSmallStr(std::string(head)));
  }

  const size_t next = rest.find('/');
  const std::string_view step = rest.substr(0, next);
  const std::string tail =
      next == std::string_view::npos ? std::string() : std::string(rest.substr(next));

  std::string stepName(step);
  CSmallStr predicate;
  const size_t bracket = step.find('[');
  if (bracket != std::string_view::npos) {
    if (step.back() != ']') return E_FAIL;
    stepName = std::string(step.substr(0, bracket));
    // Between the first "[" and the last character; a step ending in its only "[" has no room.
    if (step.size() - 1 > bracket) {
      predicate = CSmallStr(std::string(step.substr(bracket + 1, step.size() - 2 - bracket)));
    }
    // Predicates live in attribute values, where ">" cannot be written.
    predicate.ReplaceAll("&gt;", ">");
    predicate.ReplaceAll("&lt;", "<");
    predicate.ReplaceAll(" ", "");
  }

  bool random = false;
  std::vector<int32_t> picks;
  size_t pick = 0;
  const int randomAt = predicate.Find(kRandomCall);
  if (randomAt >= 0) {
    random = true;
    const std::string text = predicate.str();
    const size_t numberAt = static_cast<size_t>(randomAt) + sizeof(kRandomCall) - 1;
    // "random(" is followed at once by the count (optional sign, digits); none means one.
    const vexa::platform::DecimalRead count = vexa::platform::ReadDecimal(
        std::string_view(text).substr(numberAt), vexa::platform::DecimalSpace::kNone);
    int32_t wanted = count.digits ? count.value : 1;
    const size_t close = text.find(')', numberAt);
    if (close == std::string::npos) return E_FAIL;
    const std::string call = text.substr(static_cast<size_t>(randomAt), close + 1 - randomAt);
    predicate.ReplaceAll(call.c_str(), kRandomPick);

    int32_t total = 0;
    for (const CXMLElement* child : node->GetChildren()) {
      if (child->GetName() == stepName.c_str()) ++total;
    }
    if (wanted > total) wanted = total;
    if (wanted <= 0) return S_OK;
    random_->Seed(vexa::platform::TickCount());
    picks = DrawDistinctPositions(random_, wanted, total);
    if (picks.empty()) return S_OK;
  }

  int32_t position = 1;
  for (size_t i = 0; i < node->GetChildCount(); ++i) {
    CXMLElement* child = node->GetChild(i);
    if (child->GetName() != stepName.c_str()) continue;
    if (!predicate.IsEmpty()) {
      CSmallStr test(predicate);
      test.ReplaceAll(kPosition, std::to_string(position).c_str());
      if (random) test.ReplaceAll(kRandomPick, std::to_string(picks[pick]).c_str());
      CVariant verdict;
      HRESULT hr = Evaluate(test.c_str(), scope, &verdict.value);
      if (FAILED(hr)) return hr;
      if (!ValueToBool(verdict.value)) {
        ++position;
        continue;
      }
    }
    std::unique_ptr<CXMLElement> copy(child->Clone(false));
    if (!tail.empty() && FAILED(Select(child, tail.c_str(), scope, copy.get()))) return E_FAIL;
    out->AppendChild(copy.release());
    if (random && ++pick >= picks.size()) return S_OK;
    if (predicate.IsEmpty()) return S_OK;
    ++position;
  }
  return S_OK;
}
