// Turning a failing library status into an error that names it.
#ifndef QOR_GRAB_BF_CHECK_H
#define QOR_GRAB_BF_CHECK_H

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qorgrab {

// A BF_ function returned a status other than BF_OK.
class BfFailure : public std::runtime_error {
public:
    BfFailure(const char *function, int32_t status);
    const char *function() const { return function_; }
    int32_t status() const { return status_; }

private:
    const char *function_;
    int32_t status_;
};

// Anything else that stops a command (files, unusable geometry).
class ToolFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws BfFailure unless `status` is BF_OK.
void check(int32_t status, const char *function);

// "BF_Open returned 5000 (BF_E_NO_BOARD)".
std::string describeStatus(const char *function, int32_t status);

}  // namespace qorgrab

#endif
