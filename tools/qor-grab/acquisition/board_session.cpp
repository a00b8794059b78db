#include "board_session.h"

#include <string>

#include "bf_check.h"
#include "hints.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr int32_t kNoSlot = -1;
// More cameras than this on one board would be a board that takes any
// number: the count stops there.
constexpr uint32_t kMaxCameras = 64;

int32_t openBoard(int32_t family, uint32_t number, int32_t &slot)
{
    uint32_t depth = 0, bytesPerPixel = 0, width = 0, lines = 0;
    return BF_Open(nullptr, &depth, &bytesPerPixel, &width, &lines, number, family, &slot);
}

}  // namespace

uint32_t familyTypeCode(int32_t family)
{
    switch (family) {
    case BF_FAMILY_208: return 208;
    case BF_FAMILY_16: return 16;
    case BF_FAMILY_32: return 32;
    default: return 64;
    }
}

BoardSession::BoardSession(Opened, int32_t family, uint32_t number, int32_t slot)
    : family_(family), number_(number), slot_(slot)
{
}

BoardSession::BoardSession(int32_t family, uint32_t number)
    : family_(family), number_(number), slot_(kNoSlot)
{
    check(openBoard(family, number, slot_), "BF_Open", listHint());
}

std::optional<BoardSession> BoardSession::openIfPresent(int32_t family, uint32_t number)
{
    int32_t slot = kNoSlot;
    const int32_t status = openBoard(family, number, slot);
    if (status == BF_E_NO_BOARD) return std::nullopt;
    check(status, "BF_Open", listHint());
    return BoardSession(Opened{}, family, number, slot);
}

BoardSession::BoardSession(BoardSession &&other) noexcept
    : family_(other.family_), number_(other.number_), slot_(other.slot_)
{
    other.slot_ = kNoSlot;
}

BoardSession::~BoardSession()
{
    if (slot_ != kNoSlot) BF_Close(slot_);
}

CameraGeometry BoardSession::imageInfo() const
{
    CameraGeometry g;
    void *destination = nullptr;
    check(BF_ImageInfo(&g.cameraInfo, &g.bitDepth, &g.bytesPerPixel, &g.width, &g.lines,
                       &destination, slot_),
          "BF_ImageInfo");
    return g;
}

void BoardSession::selectCamera(uint32_t camera)
{
    check(BF_SelectCamera(camera, slot_), "BF_SelectCamera", noCameraHint(camera));
}

bool BoardSession::trySelectCamera(uint32_t camera)
{
    const int32_t status = BF_SelectCamera(camera, slot_);
    if (status == BF_E_CAMERA_SELECT) return false;
    check(status, "BF_SelectCamera");
    return true;
}

uint32_t BoardSession::countCameras(uint32_t reselect)
{
    uint32_t cameras = 0;
    while (cameras < kMaxCameras && trySelectCamera(cameras)) ++cameras;
    if (cameras > 0) selectCamera(reselect);
    return cameras;
}

void BoardSession::close()
{
    check(BF_Close(slot_), "BF_Close");
    slot_ = kNoSlot;
}

}  // namespace qorgrab
