/*
 * The board population and its lifetime: loading it on first use, replacing
 * it, opening and closing boards, and the live-object counts.
 */
#include <cstdlib>
#include <map>

#include "acquisition.h"
#include "bfsim.h"
#include "config.h"
#include "controls_state.h"
#include "state.h"

namespace bfsim {
namespace {

constexpr const char *kConfigVariable = "QOR_SIM_CONFIG";
// Handles are fake addresses that never point at anything; the stride keeps
// them aligned like real pointers.
constexpr uintptr_t kHandleBase = 0x5B0A0000u;
constexpr uintptr_t kHandleStride = 0x40;

std::vector<BoardConfig> configuredPopulation()
{
    const char *path = std::getenv(kConfigVariable);
    if (path == nullptr || *path == '\0') return defaultPopulation();
    return readConfigFile(path).value_or(std::vector<BoardConfig>{});
}

void install(std::vector<BoardConfig> configs)
{
    SimState &s = state();
    std::map<uint32_t, uint32_t> numbersTaken;
    s.boards.clear();
    for (BoardConfig &config : configs) {
        auto board = std::make_unique<Board>();
        board->number = numbersTaken[config.type]++;
        board->config = std::move(config);
        s.boards.push_back(std::move(board));
    }
    ++s.populationEpoch;
    s.loaded = true;
}

}  // namespace

std::mutex &lock()
{
    // Never destroyed: a frame thread still running at exit must not find
    // the lock gone.
    static std::mutex *theLock = new std::mutex;
    return *theLock;
}

SimState &state()
{
    static SimState *theState = new SimState;
    return *theState;
}

std::vector<std::unique_ptr<Board>> &boards()
{
    ensureLoaded();
    return state().boards;
}

Board *findBoard(void *handle)
{
    if (handle == nullptr) return nullptr;
    for (auto &board : boards())
        if (board->open && !board->closing && board->handle == handle) return board.get();
    return nullptr;
}

Board *findBoard(uint32_t type, uint32_t number)
{
    for (auto &board : boards())
        if (board->config.type == type && board->number == number) return board.get();
    return nullptr;
}

void ensureLoaded()
{
    if (!state().loaded) install(configuredPopulation());
}

void openBoard(Board &board)
{
    SimState &s = state();
    ++s.handlesIssued;
    board.handle = reinterpret_cast<void *>(kHandleBase + kHandleStride * s.handlesIssued);
    board.open = true;
    board.camera = 0;
    controlsOpened(board);
    acquisitionOpened(board);
    countObject(BFSIM_OBJ_BOARDS, +1);
}

void closeBoard(Board &board, std::unique_lock<std::mutex> &held)
{
    board.closing = true;
    acquisitionClosing(board, held);
    board.controls.reset();
    board.open = false;
    board.closing = false;
    board.handle = nullptr;
    countObject(BFSIM_OBJ_BOARDS, -1);
    board.changed.notify_all();
}

void replacePopulation(std::vector<BoardConfig> configs, std::unique_lock<std::mutex> &held)
{
    // Taken out first so that no handle finds an old board while the engine
    // winds them down with the lock released.
    std::vector<std::unique_ptr<Board>> old = std::move(state().boards);
    state().boards.clear();
    for (auto &board : old) {
        // A close already under way on another thread finishes first.
        board->changed.wait(held, [&] { return !board->closing; });
        if (board->open) closeBoard(*board, held);
    }
    old.clear();
    install(std::move(configs));
}

void countObject(int kind, int delta)
{
    state().live[kind] += delta;
}

}  // namespace bfsim

using namespace bfsim;

extern "C" BFSIM_API void bfsim_reset(void)
{
    std::unique_lock<std::mutex> held(lock());
    SimState &s = state();
    s.faults.clear();
    replacePopulation(configuredPopulation(), held);
    s.journalOn = false;
    s.journal.clear();
    s.outputs.clear();
    s.live.clear();
    s.messageBoxes.clear();
    s.debugOutput.clear();
    s.misuses.clear();
}

extern "C" BFSIM_API int bfsim_load_config(const char *json)
{
    std::unique_lock<std::mutex> held(lock());
    std::optional<std::vector<BoardConfig>> configs;
    if (json == nullptr)
        parseConfig("", "text of bfsim_load_config");
    else
        configs = parseConfig(json, "text of bfsim_load_config");
    const bool loaded = configs.has_value();
    replacePopulation(std::move(configs).value_or(std::vector<BoardConfig>{}), held);
    return loaded ? 0 : -1;
}

extern "C" BFSIM_API int bfsim_live_count(int kind)
{
    std::lock_guard<std::mutex> held(lock());
    ensureLoaded();
    const SimState &s = state();
    if (kind != BFSIM_OBJ_ALL) {
        auto found = s.live.find(kind);
        return found == s.live.end() ? 0 : found->second;
    }
    int total = 0;
    for (const auto &entry : s.live) total += entry.second;
    return total;
}
