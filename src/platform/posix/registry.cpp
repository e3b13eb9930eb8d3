// The registry stand-in of POSIX builds: keys and values kept in this process's memory, with the
// Windows rules the code above relies on (names ignore case, values keep the order they were first
// written in, a key must exist before its values can be set).
#include "platform/registry.h"

#include <map>
#include <mutex>

namespace vexa::platform {

namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Fold(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = Lower(c);
  return out;
}

// "Software\\\\A\\" and "software\\a" are one key.
std::string KeyId(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '/') c = '\\';
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out.push_back(Lower(c));
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

struct Key {
  std::vector<RegistryValue> values;
};

struct Registry {
  std::mutex lock;
  std::map<std::string, Key> keys;
};

Registry& TheRegistry() {
  static auto* registry = new Registry;  // never destroyed: usable from exit handlers
  return *registry;
}

RegistryValue* FindValue(Key& key, const std::string& name) {
  const std::string folded = Fold(name);
  for (RegistryValue& value : key.values) {
    if (Fold(value.name) == folded) return &value;
  }
  return nullptr;
}

}  // namespace

bool ReadRegistryValue(const std::string& key, const std::string& name, RegistryValue* value) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto it = registry.keys.find(KeyId(key));
  if (it == registry.keys.end()) return false;
  const RegistryValue* found = FindValue(it->second, name);
  if (!found) return false;
  *value = *found;
  return true;
}

bool WriteRegistryValue(const std::string& key, const std::string& name, uint32_t type,
                        const void* data, size_t size, bool createKey) {
  const std::string id = KeyId(key);
  if (id.empty() || (size > 0 && !data)) return false;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto it = registry.keys.find(id);
  if (it == registry.keys.end()) {
    if (!createKey) return false;
    // The parents exist too, as they would in the registry.
    for (size_t cut = id.find('\\'); cut != std::string::npos; cut = id.find('\\', cut + 1)) {
      registry.keys.emplace(id.substr(0, cut), Key());
    }
    it = registry.keys.emplace(id, Key()).first;
  }
  RegistryValue* value = FindValue(it->second, name);
  if (!value) {
    it->second.values.emplace_back();
    value = &it->second.values.back();
    value->name = name;
  }
  value->type = type;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  value->data.assign(bytes, bytes + size);
  return true;
}

bool EnumerateRegistryValues(const std::string& key,
                             const std::function<bool(const RegistryValue&)>& visit) {
  std::vector<RegistryValue> values;
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    auto it = registry.keys.find(KeyId(key));
    if (it == registry.keys.end()) return false;
    values = it->second.values;
  }
  // The callback runs without the lock, so it may use the registry itself.
  for (const RegistryValue& value : values) {
    if (!visit(value)) break;
  }
  return true;
}

bool DeleteRegistryKey(const std::string& key) {
  const std::string id = KeyId(key);
  if (id.empty()) return false;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  for (auto it = registry.keys.begin(); it != registry.keys.end();) {
    const bool inside = it->first == id || it->first.compare(0, id.size() + 1, id + "\\") == 0;
    it = inside ? registry.keys.erase(it) : std::next(it);
  }
  return true;
}

}  // namespace vexa::platform
