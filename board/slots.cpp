#include "board/slots.h"

namespace qor {

int32_t openCount = 0;
uint32_t slotCount = kSlotTableSize;
BoardSlot boardSlots[kSlotTableSize];
BufferSet bufferSets[kSlotTableSize];

BoardSlot *openSlot(int32_t index)
{
    if (index < 0 || index >= kSlotTableSize) return nullptr;
    BoardSlot &slot = boardSlots[index];
    return slot.board != nullptr ? &slot : nullptr;
}

}  // namespace qor
