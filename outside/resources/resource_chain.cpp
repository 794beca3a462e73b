#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "resources/internal/module.h"
#include "resources/internal/rcc_reader.h"
#include "resources/tlx_pc_resource.h"
#include "win32/modules.h"

namespace tlx::resources {
namespace {

struct Chain {
  std::mutex lock;
  HINSTANCE current = nullptr;
  std::vector<HINSTANCE> libraries;
};

Chain& TheChain() {
  static auto* chain = new Chain();
  return *chain;
}

std::vector<HINSTANCE> ChainModules() {
  Chain& chain = TheChain();
  std::lock_guard lock(chain.lock);
  std::vector<HINSTANCE> modules;
  if (chain.current != nullptr) modules.push_back(chain.current);
  modules.insert(modules.end(), chain.libraries.begin(), chain.libraries.end());
  return modules;
}

// The folder a resource type is kept under; empty for a type this library
// does not keep.
QString TypeName(LPCSTR type) {
  if (type == nullptr) return {};
  if (!IS_INTRESOURCE(type)) return QString::fromUtf8(type).toUpper();
  switch (reinterpret_cast<uintptr_t>(type)) {
    case 2:
      return QStringLiteral("BITMAP");
    case 3:
    case 14:  // the icon group names the icon
      return QStringLiteral("ICON");
    case 4:
      return QStringLiteral("MENUS");
    case 5:
      return QStringLiteral("DIALOGS");
    case 6:
      return QStringLiteral("STRINGS");
    case 10:
      return QStringLiteral("RCDATA");
    default:
      return {};
  }
}

// A resource name as a number: MAKEINTRESOURCE(id) or "#id". 0 otherwise.
UINT IdOf(LPCSTR name) {
  if (name == nullptr) return 0;
  if (IS_INTRESOURCE(name)) return static_cast<UINT>(reinterpret_cast<uintptr_t>(name));
  if (name[0] != '#') return 0;
  bool ok = false;
  const uint id = QString::fromUtf8(name + 1).toUInt(&ok, 10);
  return ok && id <= 0xFFFF ? id : 0;
}

const QByteArray* Lookup(HINSTANCE handle, const QString& type, UINT id) {
  const Module* module = ModuleOf(handle);
  if (module == nullptr || type.isEmpty() || id == 0) return nullptr;
  return module->Find(type, id, TlxPcGetUiLanguage());
}

HINSTANCE FindInChain(const QString& type, UINT id) {
  for (HINSTANCE module : ChainModules()) {
    if (Lookup(module, type, id) != nullptr) return module;
  }
  return nullptr;
}

HINSTANCE LoadBundle(const QByteArray& bundle) {
  std::vector<BundleFile> files;
  QString error;
  if (!ReadRccBundle(bundle, &files, &error)) return nullptr;
  return AdoptModule(Module::FromBundle(files));
}

QString BundlePath(const char* fileName) {
  QString name = QFileInfo(QString::fromUtf8(fileName)).fileName();
  if (name.isEmpty()) return {};
  const qsizetype dot = name.lastIndexOf(u'.');
  name = (dot > 0 ? name.left(dot) : name) + QStringLiteral(".rcc");
  QStringList folders;
  if (const char* dir = std::getenv("TLX_RESOURCE_DIR"); dir != nullptr && *dir != '\0') {
    folders << QString::fromUtf8(dir);
  }
  folders << QFileInfo(QString::fromStdString(win32::ExecutablePath())).absolutePath();
  for (const QString& folder : folders) {
    const QString path = folder + u'/' + name;
    if (QFileInfo(path).isFile()) return path;
  }
  return {};
}

}  // namespace
}  // namespace tlx::resources

using namespace tlx::resources;

HINSTANCE TlxPcLoadResourceLibrary(const char* fileName) {
  if (fileName == nullptr) return nullptr;
  QFile file(BundlePath(fileName));
  if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) return nullptr;
  return LoadBundle(file.readAll());
}

HINSTANCE TlxPcLoadResourceBundle(const void* bundle, size_t size) {
  if (bundle == nullptr || size > static_cast<size_t>(INT32_MAX)) return nullptr;
  return LoadBundle(QByteArray(static_cast<const char*>(bundle), static_cast<qsizetype>(size)));
}

void TlxPcRegisterLibraryResources(HINSTANCE module) {
  if (ModuleOf(module) == nullptr) return;
  Chain& chain = TheChain();
  std::lock_guard lock(chain.lock);
  if (std::find(chain.libraries.begin(), chain.libraries.end(), module) == chain.libraries.end()) {
    chain.libraries.push_back(module);
  }
}

BOOL TlxPcFreeResourceLibrary(HINSTANCE module) {
  {
    Chain& chain = TheChain();
    std::lock_guard lock(chain.lock);
    if (chain.current == module) chain.current = nullptr;
    std::erase(chain.libraries, module);
  }
  return ReleaseModule(module) ? TRUE : FALSE;
}

void AfxSetResourceHandle(HINSTANCE module) {
  Chain& chain = TheChain();
  std::lock_guard lock(chain.lock);
  chain.current = module;
}

HINSTANCE AfxGetResourceHandle() {
  Chain& chain = TheChain();
  std::lock_guard lock(chain.lock);
  return chain.current;
}

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) { return FindInChain(TypeName(type), IdOf(name)); }

HINSTANCE AfxFindStringResourceHandle(UINT id) { return FindInChain(QStringLiteral("STRINGS"), id); }

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) { return Lookup(module, TypeName(type), IdOf(name)); }

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  return resource != nullptr && ModuleOf(module) != nullptr ? resource : nullptr;
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  if (resource == nullptr || ModuleOf(module) == nullptr) return 0;
  return static_cast<DWORD>(static_cast<const QByteArray*>(resource)->size());
}

const void* LockResource(HGLOBAL resource) {
  return resource == nullptr ? nullptr : static_cast<const QByteArray*>(resource)->constData();
}

int LoadStringW(HINSTANCE module, UINT id, WCHAR* buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  const QByteArray* text = Lookup(module, QStringLiteral("STRINGS"), id);
  const int length = text == nullptr ? 0 : std::min<int>(text->size() / 2, bufferMax - 1);
  if (length > 0) std::copy_n(reinterpret_cast<const WCHAR*>(text->constData()), length, buffer);
  buffer[length] = 0;
  return length;
}
