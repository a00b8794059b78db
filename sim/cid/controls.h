/*
 * The simulator's board controls: trigger line and mode, LUTs, timing
 * generator, encoder divider, general-purpose outputs and the register file.
 */
#ifndef QOR_SIM_CONTROLS_H
#define QOR_SIM_CONTROLS_H

#include <vector>

#include "model.h"

namespace bfsim {

struct Controls;

// Gives a board that has just been opened its controls, registers at their
// defaults. Call under lock().
void controlsOpened(Board &board);

// What the capture engine asks of the controls. Call under lock().
// The trigger mode currently set (CiConVTrigModeSet, else the camera's).
uint32_t triggerMode(const Board &board);
// Parameter `index` (0..2) of the trigger mode currently set.
uint32_t triggerParam(const Board &board, uint32_t index);
// True when frames wait for a trigger (modes 2 and 3).
bool triggered(const Board &board);
// True when the external trigger line is connected.
bool externalConnected(const Board &board);
// A pixel value passed through the LUT of `lutBank`/`lutType` as CiAqSetup
// registered them. Bank 4 (or any bank above 3) leaves it unchanged; in banks
// 0..3, LUT types 0..2 map it through the first lane's table as CiLutWrite
// stored it (a table never written is the identity, indexed by the value
// modulo the table's size), and mask types 4..7 keep its low 10, 12, 14 or
// 16 bits. Other types leave it unchanged.
uint32_t applyLut(const Board &board, uint32_t lutBank, uint32_t lutType, uint32_t value);
// applyLut's mapping for one bank and type, copied out once per frame so
// that a frame's pixels need no look-up in the controls and the mapping
// holds while the lock is released.
struct PixelLut {
    enum class Kind { None, Mask, Table } kind = Kind::None;
    uint32_t mask = 0xFFFFFFFFu;    // Mask: the bits kept
    uint32_t size = 0;              // Table: entries; values index it modulo this
    std::vector<uint16_t> table;    // Table: empty while never written (identity)

    uint32_t apply(uint32_t value) const
    {
        switch (kind) {
        case Kind::None: return value;
        case Kind::Mask: return value & mask;
        case Kind::Table: {
            const uint32_t index = value % size;
            return table.empty() ? index : table[index];
        }
        }
        return value;
    }
};
PixelLut pixelLut(const Board &board, uint32_t lutBank, uint32_t lutType);

// The period the timing generator sets for triggered frames, in ms, or 0
// when CiConExposureControlSet has set none.
double timingPeriodMs(const Board &board);

// The register file, which BFD's register functions reach through Cid.
// Call under lock().
bool registerSupported(const Board &board, uint32_t id);
// The register's value, 0 for an id the board does not have.
uint32_t registerRead(const Board &board, uint32_t id);
// 0, BFSIM_ERR_NOT_FOUND or BFSIM_ERR_READ_ONLY.
int32_t registerWrite(Board &board, uint32_t id, uint32_t value);
// The register's name, or null for an id the board does not have.
const char *registerName(const Board &board, uint32_t id);

}  // namespace bfsim

#endif
