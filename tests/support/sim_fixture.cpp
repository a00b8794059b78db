#include "support/sim_fixture.h"

#include <cstring>
#include <ostream>

#include "board/slots.h"

namespace qortest {

std::ostream &operator<<(std::ostream &os, const Call &call)
{
    os << call.function << "(";
    for (size_t i = 0; i < call.args.size(); ++i) os << (i ? ", " : "") << call.args[i];
    return os << ")";
}

::testing::AssertionResult callsMatch(const std::vector<Call> &actual,
                                      const std::vector<Call> &expected)
{
    bool same = actual.size() == expected.size();
    for (size_t i = 0; same && i < actual.size(); ++i) {
        const Call &a = actual[i];
        const Call &e = expected[i];
        same = a.function == e.function && a.args.size() == e.args.size();
        for (size_t k = 0; same && k < a.args.size(); ++k)
            same = e.args[k] == kAny || e.args[k] == a.args[k];
    }
    if (same) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "\n  journaled:";
    for (const Call &call : actual) failure << "\n    " << call;
    failure << "\n  expected (" << kAny << " = any):";
    for (const Call &call : expected) failure << "\n    " << call;
    return failure;
}

std::vector<Call> journal()
{
    std::vector<Call> calls;
    bfsim_call raw;
    for (size_t i = 0; bfsim_journal_get(i, &raw) == 0; ++i)
        calls.push_back({raw.function, std::vector<int64_t>(raw.args, raw.args + raw.argc)});
    return calls;
}

std::vector<Call> journalOf(std::initializer_list<const char *> functions)
{
    std::vector<Call> picked;
    for (const Call &call : journal())
        for (const char *name : functions)
            if (call.function == name) picked.push_back(call);
    return picked;
}

std::vector<std::string> journalNames()
{
    std::vector<std::string> names;
    for (const Call &call : journal()) names.push_back(call.function);
    return names;
}

std::vector<std::string> debugOutput()
{
    std::vector<std::string> messages;
    char text[256];
    for (int i = 0; bfsim_debug_output_get(i, text, sizeof text) == 0; ++i)
        messages.emplace_back(text);
    return messages;
}

int64_t SimTest::board(int32_t slot)
{
    return addr(qor::boardSlots[slot].board);
}

void resetLibraryState()
{
    std::memset(qor::boardSlots, 0, sizeof qor::boardSlots);
    std::memset(qor::bufferSets, 0, sizeof qor::bufferSets);
    qor::openCount = 0;
    qor::slotCount = qor::kSlotTableSize;
}

void SimTest::SetUp()
{
    bfsim_reset();
    resetLibraryState();
    bfsim_journal_enable(1);
    bfsim_journal_clear();
}

namespace {

// The documented teardown of every slot a case left open, as a host would
// run it: whatever it leaves live afterwards is the library's doing.
void tearDownOpenSlots()
{
    for (int32_t i = 0; i < qor::kSlotTableSize; ++i) {
        if (qor::boardSlots[i].board == nullptr) continue;
        BF_Stop(i);
        BF_FreeBuffer(i);
        BF_Cleanup(i);
        BF_BufferCleanup(i);
        BF_Close(i);
    }
}

}  // namespace

::testing::AssertionResult nothingMisused()
{
    const int count = bfsim_misuse_count();
    if (count == 0) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << count << " misuse(s) of the SDK:";
    bfsim_misuse misuse;
    for (int i = 0; bfsim_misuse_get(i, &misuse) == 0; ++i)
        failure << "\n  " << misuse.function << ": " << misuse.reason << " (journal entry "
                << misuse.journalIndex << ")";
    return failure;
}

std::vector<std::string> takeMisuses()
{
    std::vector<std::string> functions;
    bfsim_misuse misuse;
    for (int i = 0; bfsim_misuse_get(i, &misuse) == 0; ++i) functions.emplace_back(misuse.function);
    bfsim_misuse_clear();
    return functions;
}

::testing::AssertionResult nothingLive()
{
    static const char *const kKinds[] = {"boards", "signals", "relative QTabs", "physical QTabs",
                                         "destinations"};
    auto failure = ::testing::AssertionFailure() << "live simulated objects:";
    bool any = false;
    for (int kind = BFSIM_OBJ_BOARDS; kind <= BFSIM_OBJ_DESTINATIONS; ++kind) {
        if (const int live = bfsim_live_count(kind)) {
            failure << " " << live << " " << kKinds[kind];
            any = true;
        }
    }
    return any ? failure : ::testing::AssertionSuccess();
}

void SimTest::TearDown()
{
    bfsim_fault_clear();
    tearDownOpenSlots();
    EXPECT_TRUE(nothingMisused());
    if (checkNothingLive)
        EXPECT_TRUE(nothingLive()) << "after the documented teardown of every open slot";
    bfsim_journal_enable(0);
    bfsim_reset();
}

void SimTest::loadConfig(const std::string &json)
{
    ASSERT_EQ(bfsim_load_config(json.c_str()), 0) << json;
    bfsim_journal_clear();
}

int32_t SimTest::open(int32_t family, uint32_t number)
{
    int32_t slot = -1;
    uint32_t depth, bpp, width, lines;
    EXPECT_EQ(BF_Open(nullptr, &depth, &bpp, &width, &lines, number, family, &slot), BF_OK);
    bfsim_journal_clear();
    return slot;
}

}  // namespace qortest
