#include "support/frame_check.h"

namespace qortest {

uint32_t frameStamp(const void *frame)
{
    const auto *bytes = static_cast<const uint8_t *>(frame);
    uint32_t stamp = 0;
    for (uint32_t b = 0; b < 4; ++b) stamp |= uint32_t{bytes[b]} << (8 * b);
    return stamp;
}

bfsim_frame_format packedFrame(uint32_t width, uint32_t lines, uint32_t bytesPerPixel,
                               const std::vector<uint32_t> *lut)
{
    return {width, lines, width * bytesPerPixel, bytesPerPixel, 0, lut ? lut->data() : nullptr,
            lut ? static_cast<uint32_t>(lut->size()) : 0};
}

::testing::AssertionResult holdsFrame(const void *frame, const bfsim_frame_format &format, uint32_t f,
                                      uint32_t type, uint32_t number, uint32_t camera)
{
    char why[160] = "";
    if (bfsim_check_frame(type, number, camera, frame, &format, f, why, sizeof why) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << why;
}

}  // namespace qortest
