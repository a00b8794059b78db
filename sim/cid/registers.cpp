/*
 * The register file of an open board, which BFD's BFReg functions use.
 */
#include "bfsim.h"
#include "controls_state.h"
#include "register_table.h"

namespace bfsim {
namespace {

constexpr uint32_t kBoardIdTypeShift = 16;

// The register of `id` if this board has it: Gn2-only registers exist on
// Gn2 boards alone.
const RegisterDef *boardRegister(const Board &board, uint32_t id)
{
    const RegisterDef *reg = findRegister(id);
    if (reg == nullptr || board.controls == nullptr) return nullptr;
    if ((reg->flags & kRegGn2Only) != 0 && board.config.generation != BFSIM_GEN_GN2)
        return nullptr;
    return reg;
}

}  // namespace

void resetRegisters(Board &board)
{
    auto &values = board.controls->registers;
    values.clear();
    forEachRegister([&](const RegisterDef &reg) {
        if (boardRegister(board, reg.id) == nullptr) return;
        values[reg.id] = (reg.flags & kRegBoardId) != 0
                             ? board.config.type << kBoardIdTypeShift | board.number
                             : reg.resetValue;
    });
}

bool registerSupported(const Board &board, uint32_t id)
{
    return boardRegister(board, id) != nullptr;
}

uint32_t registerRead(const Board &board, uint32_t id)
{
    if (boardRegister(board, id) == nullptr) return 0;
    return board.controls->registers.at(id);
}

int32_t registerWrite(Board &board, uint32_t id, uint32_t value)
{
    const RegisterDef *reg = boardRegister(board, id);
    if (reg == nullptr) return BFSIM_ERR_NOT_FOUND;
    if ((reg->flags & kRegReadOnly) != 0) return BFSIM_ERR_READ_ONLY;
    board.controls->registers[id] = value;
    return 0;
}

const char *registerName(const Board &board, uint32_t id)
{
    const RegisterDef *reg = boardRegister(board, id);
    return reg == nullptr ? nullptr : reg->name;
}

}  // namespace bfsim
