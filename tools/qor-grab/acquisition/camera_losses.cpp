#include "camera_losses.h"

#include "bfsim.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace qorgrab {
namespace {

using EngineInfoGet = int (*)(uint32_t, uint32_t, bfsim_engine_info *);
constexpr const char *kEngineInfoGet = "bfsim_engine_info_get";

// The simulator's engine report, when the Cid this process loaded has one.
EngineInfoGet findEngineInfoGet()
{
#if defined(_WIN32)
    const HMODULE cid = GetModuleHandleA("Cid.dll");
    if (cid == nullptr) return nullptr;
    return reinterpret_cast<EngineInfoGet>(
        reinterpret_cast<void (*)()>(GetProcAddress(cid, kEngineInfoGet)));
#else
    return reinterpret_cast<EngineInfoGet>(dlsym(RTLD_DEFAULT, kEngineInfoGet));
#endif
}

}  // namespace

std::optional<uint64_t> framesLostByCamera(uint32_t typeCode, uint32_t number)
{
    static const EngineInfoGet engineInfoGet = findEngineInfoGet();
    bfsim_engine_info info{};
    if (engineInfoGet == nullptr || engineInfoGet(typeCode, number, &info) != 0)
        return std::nullopt;
    return info.framesLost + info.framesLate;
}

}  // namespace qorgrab
