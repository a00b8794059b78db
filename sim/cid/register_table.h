/*
 * The registers every simulated board carries, by id.
 */
#ifndef QOR_SIM_CID_REGISTER_TABLE_H
#define QOR_SIM_CID_REGISTER_TABLE_H

#include <cstdint>

namespace bfsim {

enum RegisterFlags : uint32_t {
    kRegReadOnly = 1u << 0,  // writes are refused
    kRegGn2Only = 1u << 1,   // exists on Gn2 boards only
    kRegBoardId = 1u << 2,   // starts as the board's type code << 16 | number
};

struct RegisterDef {
    uint32_t id;
    const char *name;
    uint32_t resetValue;
    uint32_t flags;
};

// The register of an id, or null when no board has it.
const RegisterDef *findRegister(uint32_t id);

// Calls `visit` for every register in ascending id order.
template <class Visit> void forEachRegister(Visit visit);

// The table itself, in ascending id order.
extern const RegisterDef kRegisters[];
extern const unsigned kRegisterCount;

template <class Visit> void forEachRegister(Visit visit)
{
    for (unsigned i = 0; i < kRegisterCount; ++i) visit(kRegisters[i]);
}

}  // namespace bfsim

#endif
