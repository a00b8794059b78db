/*
 * What the host prints: one line per call with its status, and a count of
 * the calls and checks that did not go as expected.
 */
#ifndef QOR_WIN_HOST_RUN_LOG_H
#define QOR_WIN_HOST_RUN_LOG_H

#include <cstdint>
#include <string>

namespace winhost {

class RunLog {
public:
    // Prints `call` with its status; a status other than `expected` counts
    // as a failure. Returns whether the status was the expected one.
    bool status(const std::string &call, int32_t status, int32_t expected = 0);
    // Prints a check of the outputs; false counts as a failure.
    bool check(bool ok, const std::string &what);
    void section(const char *title);
    int failures() const { return failures_; }

private:
    int failures_ = 0;
};

}  // namespace winhost

#endif
