#include "run_log.h"

#include <cstdio>

#include "qor_bitflow.h"

namespace winhost {

bool RunLog::status(const std::string &call, int32_t status, int32_t expected)
{
    const bool ok = status == expected;
    std::printf("  %-44s -> %d %s", call.c_str(), status, bf_status_name(status));
    if (!ok) std::printf("   FAILED: expected %d %s", expected, bf_status_name(expected));
    std::printf("\n");
    if (!ok) ++failures_;
    return ok;
}

bool RunLog::check(bool ok, const std::string &what)
{
    std::printf("  %s %s\n", ok ? "ok    " : "FAILED", what.c_str());
    if (!ok) ++failures_;
    return ok;
}

void RunLog::section(const char *title)
{
    std::printf("%s\n", title);
    std::fflush(stdout);
}

}  // namespace winhost
