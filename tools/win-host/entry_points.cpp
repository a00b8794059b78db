#include "entry_points.h"

#include <windows.h>

namespace winhost {
namespace {

constexpr const char *kLibraryDll = "qor_bitflow.dll";
constexpr const char *kSimulatorDll = "Cid.dll";

HMODULE libraryModule = nullptr;

// GetProcAddress hands out a generic function pointer; going through
// void (*)() keeps the conversion to the real type free of warnings.
template <class Pointer>
void resolve(HMODULE module, const char *name, Pointer &out, std::vector<std::string> &missing)
{
    FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    if (found == nullptr) {
        missing.push_back(name);
        return;
    }
    out = reinterpret_cast<Pointer>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

#define QOR_RESOLVE(name) resolve(module, #name, table.name, missing);

bool loadLibrary(Library &table, std::vector<std::string> &missing)
{
    libraryModule = LoadLibraryA(kLibraryDll);
    if (libraryModule == nullptr) {
        missing.push_back(kLibraryDll);
        return false;
    }
    HMODULE module = libraryModule;
    QOR_LIBRARY_ENTRY_POINTS(QOR_RESOLVE)
    return missing.empty();
}

bool loadSimulator(Simulator &table, std::vector<std::string> &missing)
{
    // Already loaded as a dependency of qor_bitflow.dll: the very instance
    // whose boards the library drives.
    HMODULE module = GetModuleHandleA(kSimulatorDll);
    if (module == nullptr) {
        missing.push_back(kSimulatorDll);
        return false;
    }
    QOR_SIMULATOR_ENTRY_POINTS(QOR_RESOLVE)
    return missing.empty();
}

void unloadLibrary()
{
    if (libraryModule != nullptr) FreeLibrary(libraryModule);
    libraryModule = nullptr;
}

}  // namespace winhost
