/*
 * Lookup tables: tables written by CiLutWrite, the bit masks of
 * CiLutSetMask, and the mapping the capture engine applies to each pixel.
 */
#include <algorithm>
#include <map>

#include "bfsim.h"
#include "cid.h"
#include "entry.h"
#include "controls_state.h"

namespace bfsim {
namespace {

// LUT types and their sizes: type 0 holds 8-bit entries per lane, types 1
// and 2 hold 16-bit entries.
constexpr uint32_t kLut8 = 0;
constexpr uint32_t kLut12 = 1;
constexpr uint32_t kLut15 = 2;
const std::map<uint32_t, size_t> kLutEntries{{kLut8, 256}, {kLut12, 4096}, {kLut15, 32768}};

// Banks 0..3 hold tables; bank 4 is "no LUT".
constexpr uint32_t kLutBanks = 4;
constexpr uint32_t kLaneCount = 4;
constexpr uint32_t kAllLanes = (1u << kLaneCount) - 1;
// The engine maps a pixel through the table of the first lane.
constexpr uint32_t kPixelLane = 0;

// Mask types by bit depth, and the depth each mask keeps.
const std::map<uint32_t, uint8_t> kMaskTypeForDepth{{8, BFSIM_MASK_NONE},
                                                    {10, BFSIM_MASK_10_BITS},
                                                    {12, BFSIM_MASK_12_BITS},
                                                    {14, BFSIM_MASK_14_BITS},
                                                    {16, BFSIM_MASK_16_BITS}};
const std::map<uint32_t, uint32_t> kMaskDepth{{BFSIM_MASK_10_BITS, 10},
                                              {BFSIM_MASK_12_BITS, 12},
                                              {BFSIM_MASK_14_BITS, 14},
                                              {BFSIM_MASK_16_BITS, 16}};

bool hasLut(const Board &board)
{
    return inquire(board, CI_INQ_BOARD_MODEL) != std::optional<uint32_t>(CI_MODEL_NO_LUT);
}

// A table not yet written passes values through unchanged.
std::vector<uint16_t> identityTable(size_t entries)
{
    std::vector<uint16_t> table(entries);
    for (size_t i = 0; i < entries; ++i) table[i] = static_cast<uint16_t>(i);
    return table;
}

std::vector<uint16_t> &lutTable(Controls &controls, uint32_t type, uint32_t bank, uint32_t lane)
{
    auto found = controls.luts.find(LutKey{type, bank, lane});
    if (found == controls.luts.end())
        found = controls.luts.emplace(LutKey{type, bank, lane}, identityTable(kLutEntries.at(type)))
                    .first;
    return found->second;
}

// Copies entries [offset, offset + count) of the caller's table into one lane.
void writeLane(std::vector<uint16_t> &table, uint32_t type, uint32_t offset, size_t count,
               const void *entries)
{
    if (type == kLut8) {
        const auto *bytes = static_cast<const uint8_t *>(entries);
        std::copy_n(bytes, count, table.begin() + offset);
    } else {
        const auto *words = static_cast<const uint16_t *>(entries);
        std::copy_n(words, count, table.begin() + offset);
    }
}

uint32_t lowBits(uint32_t value, uint32_t bits)
{
    return bits >= 32 ? value : value & ((1u << bits) - 1);
}

}  // namespace

PixelLut pixelLut(const Board &board, uint32_t lutBank, uint32_t lutType)
{
    PixelLut lut;
    if (lutBank >= kLutBanks || board.controls == nullptr) return lut;
    auto mask = kMaskDepth.find(lutType);
    if (mask != kMaskDepth.end()) {
        lut.kind = PixelLut::Kind::Mask;
        lut.mask = lowBits(0xFFFFFFFFu, mask->second);
        return lut;
    }
    auto size = kLutEntries.find(lutType);
    if (size == kLutEntries.end()) return lut;
    lut.kind = PixelLut::Kind::Table;
    lut.size = static_cast<uint32_t>(size->second);
    auto table = board.controls->luts.find(LutKey{lutType, lutBank, kPixelLane});
    if (table != board.controls->luts.end()) lut.table = table->second;
    return lut;
}

uint32_t applyLut(const Board &board, uint32_t lutBank, uint32_t lutType, uint32_t value)
{
    return pixelLut(board, lutBank, lutType).apply(value);
}

}  // namespace bfsim

using namespace bfsim;

extern "C" {

CID_API int32_t SDK_CALL CiLutWrite(CiBoardHandle handle, uint32_t lutType, uint32_t bank,
                                    uint8_t laneMask, uint32_t offset, int32_t length,
                                    const void *entries)
{
    return boardCall("CiLutWrite", {arg(handle), arg(lutType), arg(bank), arg(laneMask),
                                      arg(offset), arg(length), arg(entries)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (!hasLut(board)) return BFSIM_ERR_UNSUPPORTED;
        auto size = kLutEntries.find(lutType);
        if (size == kLutEntries.end() || bank >= kLutBanks) return BFSIM_ERR_ARGUMENT;
        if (laneMask == 0 || (laneMask & ~kAllLanes) != 0) return BFSIM_ERR_ARGUMENT;
        if (length <= 0 || entries == nullptr || offset >= size->second) return BFSIM_ERR_ARGUMENT;
        // Entries beyond the table's end are not read: a longer table only
        // fills the whole LUT.
        const size_t count = std::min(static_cast<size_t>(length), size->second - offset);
        for (uint32_t lane = 0; lane < kLaneCount; ++lane)
            if ((laneMask & (1u << lane)) != 0)
                writeLane(lutTable(*board.controls, lutType, bank, lane), lutType, offset, count,
                          entries);
        return 0;
    });
}

CID_API int32_t SDK_CALL CiLutSetMask(CiBoardHandle handle, uint32_t depth, uint8_t *maskType)
{
    return boardCall("CiLutSetMask", {arg(handle), arg(depth), arg(maskType)}, handle, BFSIM_ERR_HANDLE,
                     [&](Board &board, std::unique_lock<std::mutex> &) {
        if (!hasLut(board)) return BFSIM_ERR_UNSUPPORTED;
        if (maskType == nullptr) return BFSIM_ERR_ARGUMENT;
        // An imposed mask type answers for any depth; the board itself knows
        // masks for the depths of its table only.
        std::optional<uint32_t> imposed = outputOverride("CiLutSetMask");
        auto found = kMaskTypeForDepth.find(depth);
        if (!imposed && found == kMaskTypeForDepth.end()) return BFSIM_ERR_ARGUMENT;
        const uint8_t type = imposed ? static_cast<uint8_t>(*imposed) : found->second;
        board.controls->maskType = type;
        *maskType = type;
        return 0;
    });
}

}  // extern "C"
