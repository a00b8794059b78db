#include "bf_check.h"

#include "qor_bitflow.h"

namespace qorgrab {

std::string describeStatus(const char *function, int32_t status)
{
    return std::string(function) + " returned " + std::to_string(status) + " (" +
           bf_status_name(status) + ")";
}

BfFailure::BfFailure(const char *function, int32_t status)
    : std::runtime_error(describeStatus(function, status)), function_(function), status_(status)
{
}

void check(int32_t status, const char *function)
{
    if (status != BF_OK)
        throw BfFailure(function, status);
}

}  // namespace qorgrab
