#include "bf_check.h"

#include <cstring>

#include "qor_bitflow.h"

namespace qorgrab {
namespace {

// Codes with two enumerators, by the function that means each.
struct SharedCode {
    const char *function;
    int32_t status;
    const char *name;
    const char *text;
};
constexpr SharedCode kSharedCodes[] = {
    {"BF_NTGSetup", BF_E_NTG_SETUP, "BF_E_NTG_SETUP",
     "The timing generator refused the set-up."},
    {"BF_Grab", BF_E_CHAIN_REQUIRED, "BF_E_CHAIN_REQUIRED",
     "A chained grab was asked for but no buffer chain is in force."},
    {"BF_Wait", BF_E_CHAIN_REQUIRED, "BF_E_CHAIN_REQUIRED",
     "A wait for the whole chain was asked for but no buffer chain is in force."},
};

const SharedCode *sharedCode(const char *function, int32_t status)
{
    for (const SharedCode &code : kSharedCodes)
        if (code.status == status && std::strcmp(code.function, function) == 0) return &code;
    return nullptr;
}

std::string message(const char *function, int32_t status, const std::string &hint)
{
    std::string text = describeStatus(function, status);
    if (!hint.empty()) text += "\nhint: " + hint;
    return text;
}

}  // namespace

const char *statusName(const char *function, int32_t status)
{
    const SharedCode *code = sharedCode(function, status);
    return code ? code->name : bf_status_name(status);
}

const char *statusText(const char *function, int32_t status)
{
    const SharedCode *code = sharedCode(function, status);
    return code ? code->text : bf_status_text(status);
}

std::string describeStatus(const char *function, int32_t status)
{
    return std::string(function) + " returned " + std::to_string(status) + " (" +
           statusName(function, status) + "): " + statusText(function, status);
}

BfFailure::BfFailure(const char *function, int32_t status, const std::string &hint)
    : std::runtime_error(message(function, status, hint)), function_(function), status_(status)
{
}

void check(int32_t status, const char *function, const std::string &hint)
{
    if (status != BF_OK) throw BfFailure(function, status, hint);
}

}  // namespace qorgrab
