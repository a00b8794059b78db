// Raw register access by id, and translation between register names and ids.
// The library holds no register table: every access asks the board whether
// the id exists, and a name is found by scanning ids from 0 upwards.
#include <cstddef>

#include "board/slots.h"
#include "bfd.h"

namespace {

// Names are only searched below this id; higher registers are reachable by id alone.
constexpr uint32_t kNameSearchEnd = 3445;
// Room for one candidate's name during a search, its zero byte included.
constexpr uint32_t kScratchSize = 32;

bool supported(CiBoardHandle board, uint32_t id)
{
    return BFRegSupported(board, id) != 0;
}

char asciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Equal names ignoring the case of A-Z only, so the comparison does not
// depend on the host's locale. `candidate` is read no further than `limit`
// bytes: one that has no zero byte in that room is no name at all.
bool sameName(const char *candidate, size_t limit, const char *wanted)
{
    for (size_t i = 0; i < limit; ++i) {
        if (asciiUpper(candidate[i]) != asciiUpper(wanted[i])) return false;
        if (candidate[i] == '\0') return true;
    }
    return false;
}

int32_t idToName(CiBoardHandle board, uint32_t *idInOut, char *name, uint32_t size)
{
    const uint32_t id = *idInOut;
    if (!supported(board, id)) return BF_E_REGISTER_UNSUPPORTED;
    if (name == nullptr) return BF_E_REGISTER_NAME;
    return BFRegName(board, id, name, size) == 0 ? BF_OK : BF_E_REGISTER_NAME;
}

int32_t nameToId(CiBoardHandle board, uint32_t *idInOut, const char *name, uint32_t size)
{
    if (name == nullptr) return BF_E_REGISTER_UNSUPPORTED;
    // The caller's size describes its own buffer, not ours: never let the
    // board write a candidate's name past the scratch buffer.
    const uint32_t capacity = size < kScratchSize ? size : kScratchSize;
    char scratch[kScratchSize] = {};
    for (uint32_t id = 0; id < kNameSearchEnd; ++id) {
        if (!supported(board, id)) continue;
        // A name that cannot be read might have been the one asked for, so
        // no later match could be trusted to be the lowest id.
        if (BFRegName(board, id, scratch, capacity) != 0) return BF_E_REGISTER_UNSUPPORTED;
        if (sameName(scratch, capacity, name)) {
            *idInOut = id;
            return BF_OK;
        }
    }
    return BF_E_REGISTER_UNSUPPORTED;
}

}  // namespace

extern "C" int32_t QOR_CALL BF_RegPeek(int32_t slotIndex, uint32_t id, uint32_t *valueOut)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (valueOut == nullptr) return BF_E_REGISTER_UNSUPPORTED;
    if (!supported(slot->board, id)) return BF_E_REGISTER_UNSUPPORTED;
    *valueOut = BFRegPeek(slot->board, id);
    return BF_OK;
}

extern "C" int32_t QOR_CALL BF_RegPoke(int32_t slotIndex, uint32_t id, uint32_t value)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    if (!supported(slot->board, id)) return BF_E_REGISTER_UNSUPPORTED;
    return BFRegPoke(slot->board, id, value) == 0 ? BF_OK : BF_E_REGISTER_WRITE;
}

extern "C" int32_t QOR_CALL BF_RegNametoId(int32_t slotIndex, uint32_t *idInOut, char *name,
                                           uint32_t size, int32_t idToNameFlag)
{
    qor::BoardSlot *slot = qor::openSlot(slotIndex);
    if (slot == nullptr) return BF_E_SLOT_NOT_OPEN;
    // Both directions need the id: one reads it, the other reports through it.
    if (idInOut == nullptr) return BF_E_REGISTER_UNSUPPORTED;
    return idToNameFlag != 0 ? idToName(slot->board, idInOut, name, size)
                             : nameToId(slot->board, idInOut, name, size);
}
