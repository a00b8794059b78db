#include "frame_pattern.h"

#include <vector>

namespace winhost {
namespace {

constexpr uint32_t kStampBytes = 4;
constexpr uint32_t kBitsPerByte = 8;
constexpr size_t kWhySize = 256;

uint32_t readStamp(const uint8_t *bytes)
{
    uint32_t value = 0;
    for (uint32_t i = kStampBytes; i-- > 0;) value = (value << kBitsPerByte) | bytes[i];
    return value;
}

// The LUT as the table the checker takes: one entry per value of the depth.
std::vector<uint32_t> lutTable(const Lut &lut, uint32_t bitDepth)
{
    std::vector<uint32_t> table(size_t(1) << bitDepth);
    for (uint32_t v = 0; v < table.size(); ++v) table[v] = lut(v);
    return table;
}

}  // namespace

std::string checkFrame(FrameChecker check, const uint8_t *frame, const Geometry &geometry, const Lut &lut,
                       uint32_t *frameNumber)
{
    *frameNumber = readStamp(frame);
    const std::vector<uint32_t> table = lutTable(lut, geometry.bitDepth);
    const bfsim_frame_format format{geometry.width, geometry.lines, geometry.stride(), geometry.bytesPerPixel,
                                    geometry.bitDepth, table.data(), static_cast<uint32_t>(table.size())};
    char why[kWhySize] = "";
    if (check(geometry.boardType, 0, 0, frame, &format, *frameNumber, why, sizeof why) == 0) return "";
    return why[0] != '\0' ? why : "the simulator's checker refused the frame";
}

}  // namespace winhost
