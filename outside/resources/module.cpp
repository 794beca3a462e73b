#include "resources/internal/module.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <mutex>
#include <set>

namespace tlx::resources {
namespace {

// A decimal number from 1 (0 for a language) to 65535, nothing else.
bool ParseNumber(const QString& text, bool allowZero, uint32_t* value) {
  if (text.isEmpty() || text.size() > 5) return false;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') return false;
  }
  const uint32_t number = text.toUInt();
  if (number > 0xFFFF || (number == 0 && !allowZero)) return false;
  *value = number;
  return true;
}

struct Registry {
  std::mutex lock;
  std::set<const Module*> modules;
};

Registry& TheRegistry() {
  static auto* registry = new Registry();
  return *registry;
}

}  // namespace

void Module::Add(const QString& type, UINT id, LANGID language, QByteArray bytes) {
  entries_[{type.toUpper(), id}][language] = std::move(bytes);
}

bool Module::AddStringTable(const QByteArray& json, LANGID language) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(json, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return false;
  const QJsonObject table = document.object();
  for (auto it = table.begin(); it != table.end(); ++it) {
    uint32_t id = 0;
    if (!ParseNumber(it.key(), false, &id) || !it.value().isString()) continue;
    const QString text = it.value().toString();
    Add(QStringLiteral("STRINGS"), id, language,
        QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
  }
  return true;
}

const QByteArray* Module::Find(const QString& type, UINT id, LANGID language) const {
  const auto found = entries_.find({type.toUpper(), id});
  if (found == entries_.end() || found->second.empty()) return nullptr;
  const auto& variants = found->second;
  for (const LANGID wanted : {language, kLanguageNeutral, kLanguageEnglishUs}) {
    if (const auto hit = variants.find(wanted); hit != variants.end()) return &hit->second;
  }
  return &variants.begin()->second;
}

std::unique_ptr<Module> Module::FromBundle(const std::vector<BundleFile>& files) {
  auto module = std::make_unique<Module>();
  for (const BundleFile& file : files) {
    const QStringList parts = file.path.split(u'/');
    uint32_t language = kLanguageNeutral;
    uint32_t id = 0;
    if (parts.size() == 2 && parts[0] == u"strings") {
      if (parts[1].endsWith(u".json") && ParseNumber(parts[1].chopped(5), true, &language)) {
        module->AddStringTable(file.bytes, static_cast<LANGID>(language));
      }
      continue;
    }
    if (parts.size() < 2 || parts.size() > 3 || parts[0] == u"strings") continue;
    if (parts.size() == 3 && !ParseNumber(parts[1], true, &language)) continue;
    if (!ParseNumber(parts.back().section(u'.', 0, 0), false, &id)) continue;
    module->Add(parts[0], id, static_cast<LANGID>(language), file.bytes);
  }
  return module;
}

HINSTANCE AdoptModule(std::unique_ptr<Module> module) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.lock);
  const Module* raw = module.release();
  registry.modules.insert(raw);
  return const_cast<Module*>(raw);
}

const Module* ModuleOf(HINSTANCE handle) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.lock);
  const auto* module = static_cast<const Module*>(handle);
  return registry.modules.count(module) != 0 ? module : nullptr;
}

bool ReleaseModule(HINSTANCE handle) {
  std::unique_ptr<const Module> owned;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.lock);
    const auto* module = static_cast<const Module*>(handle);
    if (registry.modules.erase(module) == 0) return false;
    owned.reset(module);
  }
  return true;
}

}  // namespace tlx::resources
