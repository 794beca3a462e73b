#include "resources/module_builder.h"

#include "resources/internal/module.h"

namespace tlx::resources {

ModuleBuilder::ModuleBuilder() : module_(std::make_unique<Module>()) {}
ModuleBuilder::~ModuleBuilder() = default;

ModuleBuilder& ModuleBuilder::String(UINT id, const QString& text, LANGID language) {
  module_->Add(QStringLiteral("STRINGS"), id, language,
               QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
  return *this;
}

ModuleBuilder& ModuleBuilder::Resource(const char* type, UINT id, QByteArray bytes, LANGID language) {
  module_->Add(QString::fromUtf8(type), id, language, std::move(bytes));
  return *this;
}

HINSTANCE ModuleBuilder::Build() { return AdoptModule(std::exchange(module_, std::make_unique<Module>())); }

}  // namespace tlx::resources
