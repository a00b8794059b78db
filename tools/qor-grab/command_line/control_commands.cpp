#include <algorithm>
#include <cstdio>
#include <string>

#include "bf_check.h"
#include "board_session.h"
#include "commands.h"
#include "qor_bitflow.h"

namespace qorgrab {
namespace {

constexpr uint32_t kRegisterNameCapacity = 256;
constexpr int32_t kIdToName = 1;
constexpr int32_t kNameToId = 0;

void printRegister(uint32_t id, uint32_t value)
{
    std::printf("register %u = %u (0x%08X)\n", id, value, value);
}

uint32_t peek(int32_t slot, uint32_t id)
{
    uint32_t value = 0;
    check(BF_RegPeek(slot, id, &value), "BF_RegPeek",
          "no register has id " + std::to_string(id) + "; `qor-grab reg find NAME` gives a name's id");
    return value;
}

uint32_t readOutputs(int32_t slot)
{
    uint32_t levels = 0;
    check(BF_GetGPOUT(slot, &levels), "BF_GetGPOUT");
    return levels;
}

void regGet(int32_t slot, uint32_t id)
{
    printRegister(id, peek(slot, id));
}

void regSet(int32_t slot, uint32_t id, uint32_t value)
{
    check(BF_RegPoke(slot, id, value), "BF_RegPoke");
    printRegister(id, peek(slot, id));
}

void regName(int32_t slot, uint32_t id)
{
    char name[kRegisterNameCapacity] = {};
    check(BF_RegNametoId(slot, &id, name, sizeof name, kIdToName), "BF_RegNametoId",
          "no register has id " + std::to_string(id));
    std::printf("register %u is %s\n", id, name);
}

void regFind(int32_t slot, const std::string &wanted)
{
    uint32_t id = 0;
    std::string name = wanted;  // the library takes a writable buffer
    name.resize(std::max<size_t>(name.size() + 1, kRegisterNameCapacity));
    check(BF_RegNametoId(slot, &id, name.data(), kRegisterNameCapacity, kNameToId),
          "BF_RegNametoId",
          "no register named " + wanted + "; `qor-grab reg find` is case-insensitive, so no "
          "spelling of it exists (`qor-grab reg name ID` names an id)");
    std::printf("register %s is %u (0x%X)\n", wanted.c_str(), id, id);
}

}  // namespace

void runReg(const Options &options)
{
    const RegisterArgs &reg = options.reg;
    BoardSession board(options.family, options.board);
    switch (options.command) {
    case Command::RegGet: regGet(board.slot(), reg.id); break;
    case Command::RegSet: regSet(board.slot(), reg.id, reg.value); break;
    case Command::RegName: regName(board.slot(), reg.id); break;
    default: regFind(board.slot(), reg.name); break;
    }
    board.close();
}

void runNtg(const Options &options)
{
    const TimingArgs &t = options.ntg;
    BoardSession board(options.family, options.board);
    check(BF_NTGSetup(board.slot(), t.periodMs, t.exposureMs, t.delayMs, t.mode, t.bit),
          "BF_NTGSetup");
    std::printf("timing generator: period %g ms, exposure %g ms, delay %g ms, mode %u, bit %d\n",
                t.periodMs, t.exposureMs, t.delayMs, t.mode, t.bit);
    board.close();
}

void runEncDiv(const Options &options)
{
    const EncoderArgs &e = options.encdiv;
    BoardSession board(options.family, options.board);
    check(BF_NTGEncDiv(board.slot(), e.divider, e.encoder, e.bothEdges), "BF_NTGEncDiv");
    std::printf("encoder %u divided by %u, %s\n", e.encoder, e.divider,
                e.bothEdges ? "both edges" : "one edge");
    board.close();
}

void runGpOut(const Options &options)
{
    BoardSession board(options.family, options.board);
    if (options.command == Command::GpOutSet)
        check(BF_SetGPOUT(board.slot(), options.gpout.mask, options.gpout.levels), "BF_SetGPOUT");
    std::printf("outputs 0x%08X\n", readOutputs(board.slot()));
    board.close();
}

void runStatus(const Options &options)
{
    BoardSession board(options.family, options.board);
    uint32_t resets = 0, status = 0, frameCount = 0;
    int32_t zero = 0;
    check(BF_Status(&resets, &status, &zero, &frameCount, board.slot()), "BF_Status");
    std::printf("overflow resets: %u\nacquisition status: %u\nframe count: %u\n", resets, status,
                frameCount);
    board.close();
}

}  // namespace qorgrab
