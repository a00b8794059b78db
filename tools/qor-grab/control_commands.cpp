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
    check(BF_RegPeek(slot, id, &value), "BF_RegPeek");
    return value;
}

uint32_t readOutputs(int32_t slot)
{
    uint32_t levels = 0;
    check(BF_GetGPOUT(slot, &levels), "BF_GetGPOUT");
    return levels;
}

void regGet(int32_t slot, const std::string &idText)
{
    const uint32_t id = parseUnsigned(idText, "register id");
    printRegister(id, peek(slot, id));
}

void regSet(int32_t slot, const std::string &idText, const std::string &valueText)
{
    const uint32_t id = parseUnsigned(idText, "register id");
    const uint32_t value = parseUnsigned(valueText, "register value");
    check(BF_RegPoke(slot, id, value), "BF_RegPoke");
    printRegister(id, peek(slot, id));
}

void regName(int32_t slot, const std::string &idText)
{
    uint32_t id = parseUnsigned(idText, "register id");
    char name[kRegisterNameCapacity] = {};
    check(BF_RegNametoId(slot, &id, name, sizeof name, kIdToName), "BF_RegNametoId");
    std::printf("register %u is %s\n", id, name);
}

void regFind(int32_t slot, const std::string &nameText)
{
    uint32_t id = 0;
    std::string name = nameText;  // the library takes a writable buffer
    check(BF_RegNametoId(slot, &id, name.data(), kRegisterNameCapacity, kNameToId),
          "BF_RegNametoId");
    std::printf("register %s is %u (0x%X)\n", nameText.c_str(), id, id);
}

}  // namespace

void runReg(const Options &options)
{
    const auto &words = options.operands;
    const std::string &verb = words[0];
    BoardSession board(options.family, options.board);
    if (verb == "get") regGet(board.slot(), words[1]);
    else if (verb == "set") regSet(board.slot(), words[1], words[2]);
    else if (verb == "name") regName(board.slot(), words[1]);
    else regFind(board.slot(), words[1]);
    board.close();
}

void runNtg(const Options &options)
{
    const auto &w = options.operands;
    const double period = parseDouble(w[0], "period");
    const double exposure = parseDouble(w[1], "exposure");
    const double delay = parseDouble(w[2], "delay");
    const uint32_t mode = parseUnsigned(w[3], "mode");
    const int32_t bit = parseSigned(w[4], "bit");
    BoardSession board(options.family, options.board);
    check(BF_NTGSetup(board.slot(), period, exposure, delay, mode, bit), "BF_NTGSetup");
    std::printf("timing generator: period %g ms, exposure %g ms, delay %g ms, mode %u, bit %d\n",
                period, exposure, delay, mode, bit);
    board.close();
}

void runEncDiv(const Options &options)
{
    const auto &w = options.operands;
    const uint32_t divider = parseUnsigned(w[0], "divider");
    const uint32_t encoder = parseUnsigned(w[1], "encoder");
    const uint32_t bothEdges = parseUnsigned(w[2], "both-edges flag");
    BoardSession board(options.family, options.board);
    check(BF_NTGEncDiv(board.slot(), divider, encoder, bothEdges), "BF_NTGEncDiv");
    std::printf("encoder %u divided by %u, %s\n", encoder, divider,
                bothEdges ? "both edges" : "one edge");
    board.close();
}

void runGpOut(const Options &options)
{
    const auto &w = options.operands;
    const bool set = w[0] == "set";
    const uint32_t mask = set ? parseUnsigned(w[1], "mask") : 0;
    const uint32_t levels = set ? parseUnsigned(w[2], "levels") : 0;
    BoardSession board(options.family, options.board);
    if (set) check(BF_SetGPOUT(board.slot(), mask, levels), "BF_SetGPOUT");
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
