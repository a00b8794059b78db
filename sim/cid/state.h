/*
 * Everything the simulator remembers besides the boards themselves: the
 * journal, armed faults, output overrides, live-object counts and what was
 * shown to the user. One instance, guarded by lock().
 */
#ifndef QOR_SIM_CID_STATE_H
#define QOR_SIM_CID_STATE_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bfsim.h"
#include "model.h"

namespace bfsim {

// One armed fault of bfsim_fault: fires when `remaining` calls have counted
// down to it, and on every later call too when persistent.
struct Fault {
    int remaining = 1;
    bool persistent = false;
    int32_t result = 0;
};

struct SimState {
    std::vector<std::unique_ptr<Board>> boards;
    bool loaded = false;
    // Changes with every population, so an entry record found in an older
    // one cannot open a board of the new one.
    uint64_t populationEpoch = 0;
    // Never reset: a handle is never issued twice, so a stale one is refused.
    uint64_t handlesIssued = 0;

    bool journalOn = false;
    std::vector<bfsim_call> journal;
    // Looked up by the caller's name without making a string of it.
    std::map<std::string, std::vector<Fault>, std::less<>> faults;
    std::map<std::string, uint32_t> outputs;
    std::map<int, int> live;
    std::vector<bfsim_message_box> messageBoxes;
    std::vector<std::string> debugOutput;
    std::vector<bfsim_misuse> misuses;
};

// The one instance. Call under lock().
SimState &state();

// Loads the population on first use: QOR_SIM_CONFIG's file, else the
// built-in one. Call under lock().
void ensureLoaded();

// Closes every open board and puts `configs` in place of the population.
// Called with `held` owning lock(); the engine may release it meanwhile.
void replacePopulation(std::vector<BoardConfig> configs, std::unique_lock<std::mutex> &held);

// Gives a board that CiBrdOpen has just opened its handle and its parts.
// Call under lock().
void openBoard(Board &board);

// Closes an open board: stops its engine, drops its controls, forgets its
// handle. Called with `held` owning lock(); the engine may release it
// meanwhile, so the board is marked closing first and its handle finds
// nothing from then on.
void closeBoard(Board &board, std::unique_lock<std::mutex> &held);

// The result of an armed fault that fires on this call of `function`, if
// any; counts the call for every fault of the function. Call under lock().
std::optional<int32_t> takeFault(const char *function);

// Marks the SDK call this thread is in, for recordMisuse, until leaveCall.
void enterCall(const char *function);
void leaveCall();

// Appends a call to the journal when it is on. Call under lock().
void journalCall(const char *function, std::initializer_list<int64_t> args);

// Records that the SDK call running on this thread was used as a real SDK
// would punish (a double free, a record that holds no live object, an
// engine another acquisition holds...): `reason` says how. Call under lock().
void recordMisuse(const char *reason);

// Copies `text` into a fixed buffer, cut to fit and always zero-ended.
void copyText(char *out, size_t size, const char *text);

}  // namespace bfsim

#endif
