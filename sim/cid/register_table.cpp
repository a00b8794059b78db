/*
 * The register map of the simulated boards. Sparse on purpose, with ids up
 * to 4000: a name search must skip the gaps, meet a name that does not fit
 * a 32-byte buffer, and stop before the ids of 3445 and more.
 */
#include "register_table.h"

#include <algorithm>

#include "bfsim.h"

namespace bfsim {

const RegisterDef kRegisters[] = {
    {BFSIM_REG_BOARD_ID, BFSIM_REG_BOARD_ID_NAME, 0, kRegReadOnly | kRegBoardId},
    {BFSIM_REG_FPGA_VERSION, BFSIM_REG_FPGA_VERSION_NAME, BFSIM_FPGA_VERSION_VALUE, kRegReadOnly},
    {4, "CONTROL", 0, 0},
    {8, "STATUS", 0, kRegReadOnly},
    {BFSIM_REG_GAIN, BFSIM_REG_GAIN_NAME, BFSIM_GAIN_VALUE, 0},
    {BFSIM_REG_OFFSET, BFSIM_REG_OFFSET_NAME, 0, 0},
    {16, "TRIGGER_SELECT", 0, 0},
    {17, "TRIGGER_POLARITY", 0, 0},
    {32, "LINE_COUNT", 0, 0},
    {BFSIM_REG_SCRATCH, BFSIM_REG_SCRATCH_NAME, BFSIM_SCRATCH_VALUE, 0},
    {100, "DMA_CONTROL", 0, 0},
    {256, "LUT_CONTROL", 0, 0},
    {512, "ENCODER_DIVIDER", 1, 0},
    {1024, "GPOUT_LEVELS", 0, 0},
    {BFSIM_REG_CTAB_CONTROL, BFSIM_REG_CTAB_CONTROL_NAME, 0, 0},
    {BFSIM_REG_ENGINE_MODE, BFSIM_REG_ENGINE_MODE_NAME, 0, 0},
    {BFSIM_REG_GAIN_FINE, BFSIM_REG_GAIN_FINE_NAME, 0, 0},
    {2200, "CAMERA_LINK_MODE", 0, 0},
    {BFSIM_REG_GN2_ACQ_CONTROL, BFSIM_REG_GN2_ACQ_CONTROL_NAME, 0, kRegGn2Only},
    {BFSIM_REG_GN2_SYNC_SOURCE, BFSIM_REG_GN2_SYNC_SOURCE_NAME, 0, kRegGn2Only},
    {BFSIM_REG_GN2_SYNC_ENABLE, BFSIM_REG_GN2_SYNC_ENABLE_NAME, 0, kRegGn2Only},
    {BFSIM_REG_GN2_CONTINUOUS, BFSIM_REG_GN2_CONTINUOUS_NAME, 0, kRegGn2Only},
    {BFSIM_REG_PULSE_WIDTH, BFSIM_REG_PULSE_WIDTH_NAME, 0, 0},
    {BFSIM_REG_SCRATCH_ALT, BFSIM_REG_SCRATCH_ALT_NAME, 0, 0},
    {BFSIM_REG_CLOCK_DETECT, BFSIM_REG_CLOCK_DETECT_NAME, 0, 0},
    {BFSIM_REG_DEBUG_COUNTER, BFSIM_REG_DEBUG_COUNTER_NAME, 0, 0},
    {BFSIM_REG_EXTENDED_CONTROL, BFSIM_REG_EXTENDED_CONTROL_NAME, 0, 0},
    {BFSIM_REG_EXTENDED_STATUS, BFSIM_REG_EXTENDED_STATUS_NAME, 0, kRegReadOnly},
    {BFSIM_REG_BAUD_DIVIDER, BFSIM_REG_BAUD_DIVIDER_NAME, 0, 0},
    {BFSIM_REG_EXTENDED_SCRATCH, BFSIM_REG_EXTENDED_SCRATCH_NAME, 0, 0},
};

const unsigned kRegisterCount = sizeof kRegisters / sizeof kRegisters[0];

const RegisterDef *findRegister(uint32_t id)
{
    const RegisterDef *end = kRegisters + kRegisterCount;
    const RegisterDef *found = std::lower_bound(
        kRegisters, end, id, [](const RegisterDef &reg, uint32_t key) { return reg.id < key; });
    return found != end && found->id == id ? found : nullptr;
}

}  // namespace bfsim
