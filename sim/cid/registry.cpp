/*
 * The board registry of the simulated Cid: enumerating, finding, opening,
 * inquiring, switching cameras and closing boards.
 */
#include "bfsim.h"
#include "cid.h"
#include "entry.h"
#include "controls.h"
#include "state.h"

namespace bfsim {
namespace {

// Marks an entry record as one CiSysBrdFind filled, so CiBrdOpen can tell
// it from garbage.
constexpr uint64_t kEntryMagic = 0x514F52454E545259ull;  // "QORENTRY"
enum EntryField { kMagic, kType, kNumber, kEpoch };

}  // namespace

std::optional<uint32_t> inquire(const Board &board, uint32_t code)
{
    auto imposed = board.inquiryOverrides.find(code);
    if (imposed != board.inquiryOverrides.end()) return imposed->second;
    const CameraConfig &camera = board.currentCamera();
    switch (code) {
    case CI_INQ_BOARD_MODEL: return board.config.model;
    case CI_INQ_WIDTH: return camera.width;
    case CI_INQ_LINES: return camera.lines;
    case CI_INQ_CAMERA_MODE: return camera.cameraMode;
    case CI_INQ_BIT_DEPTH: return camera.bitDepth;
    case CI_INQ_BYTES_PER_PIXEL: return camera.bytesPerPixel;
    case CI_INQ_WAIT_TIME: return camera.waitTimeMs;
    case CI_INQ_CAMERA_INFO: return camera.cameraInfo;
    case CI_INQ_SYNC_SOURCE: return camera.syncSource;
    default: return std::nullopt;
    }
}

}  // namespace bfsim

using namespace bfsim;

extern "C" {

CID_API int32_t SDK_CALL CiSysBrdEnum(uint32_t type, uint32_t *count)
{
    return sdkCall<int32_t>("CiSysBrdEnum", {arg(type), arg(count)}, [&](std::unique_lock<std::mutex> &) {
        if (count == nullptr) return BFSIM_ERR_ARGUMENT;
        uint32_t found = 0;
        for (const auto &board : boards())
            if (board->config.type == type) ++found;
        *count = found;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiSysBrdFind(uint32_t type, uint32_t number, CiBoardEntry *entry)
{
    return sdkCall<int32_t>("CiSysBrdFind", {arg(type), arg(number), arg(entry)}, [&](std::unique_lock<std::mutex> &) {
        if (entry == nullptr) return BFSIM_ERR_ARGUMENT;
        if (findBoard(type, number) == nullptr) return BFSIM_ERR_NOT_FOUND;
        *entry = CiBoardEntry{};
        entry->opaque[kMagic] = kEntryMagic;
        entry->opaque[kType] = type;
        entry->opaque[kNumber] = number;
        entry->opaque[kEpoch] = state().populationEpoch;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiBrdOpen(CiBoardEntry *entry, CiBoardHandle *handle, uint32_t mode)
{
    return sdkCall<int32_t>("CiBrdOpen", {arg(entry), arg(handle), arg(mode)}, [&](std::unique_lock<std::mutex> &) {
        if (entry == nullptr || handle == nullptr || entry->opaque[kMagic] != kEntryMagic)
            return BFSIM_ERR_ARGUMENT;
        // An entry found before the population was replaced names no board now.
        if (entry->opaque[kEpoch] != state().populationEpoch) return BFSIM_ERR_NOT_FOUND;
        Board *board = findBoard(static_cast<uint32_t>(entry->opaque[kType]),
                                 static_cast<uint32_t>(entry->opaque[kNumber]));
        if (board == nullptr) return BFSIM_ERR_NOT_FOUND;
        if (board->open) return BFSIM_ERR_BUSY;
        openBoard(*board);
        *handle = board->handle;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiBrdClose(CiBoardHandle handle)
{
    return boardCall("CiBrdClose", {arg(handle)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &held) {
        closeBoard(board, held);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiBrdInquire(CiBoardHandle handle, uint32_t code, uint32_t *value)
{
    return boardCall("CiBrdInquire", {arg(handle), arg(code), arg(value)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (value == nullptr) return BFSIM_ERR_ARGUMENT;
        std::optional<uint32_t> answer = inquire(board, code);
        if (!answer) return BFSIM_ERR_NOT_FOUND;
        *value = *answer;
        return 0;
    });
}

CID_API int32_t SDK_CALL CiBrdCamSel(CiBoardHandle handle, uint32_t camera, uint32_t mode)
{
    return boardCall("CiBrdCamSel", {arg(handle), arg(camera), arg(mode)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (camera >= board.config.cameras.size()) return BFSIM_ERR_NOT_FOUND;
        board.camera = camera;
        board.changed.notify_all();
        return 0;
    });
}

CID_API int32_t SDK_CALL CiBrdCamGetCur(CiBoardHandle handle, CiCameraConfig *config)
{
    return boardCall("CiBrdCamGetCur", {arg(handle), arg(config)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (config == nullptr) return BFSIM_ERR_ARGUMENT;
        // The camera's own record in the model: opaque to callers, and valid for
        // the engine as long as the population lasts.
        *config = const_cast<CameraConfig *>(&board.currentCamera());
        return 0;
    });
}

CID_API int32_t SDK_CALL CiConInt(CiBoardHandle handle, uint32_t kind, uint32_t enable)
{
    return boardCall("CiConInt", {arg(handle), arg(kind), arg(enable)}, handle, BFSIM_ERR_HANDLE,
                     [](Board &, std::unique_lock<std::mutex> &) { return 0; });
}

CID_API int32_t SDK_CALL CiConVTrigModeGet(CiBoardHandle handle, uint32_t *mode, uint32_t *param1,
                                           uint32_t *param2, uint32_t *param3)
{
    return boardCall("CiConVTrigModeGet", {arg(handle), arg(mode), arg(param1), arg(param2), arg(param3)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        // Each output is optional: a caller may want only the mode.
        uint32_t *params[] = {param1, param2, param3};
        if (mode != nullptr) *mode = triggerMode(board);
        for (uint32_t i = 0; i < 3; ++i)
            if (params[i] != nullptr) *params[i] = triggerParam(board, i);
        return 0;
    });
}

}  // extern "C"
