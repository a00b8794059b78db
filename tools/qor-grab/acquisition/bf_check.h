// Turning a failing library status into an error that says what it means.
#ifndef QOR_GRAB_BF_CHECK_H
#define QOR_GRAB_BF_CHECK_H

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qorgrab {

// A BF_ function returned a status other than BF_OK.
class BfFailure : public std::runtime_error {
public:
    // `hint`, when not empty, says what the user can do about it.
    BfFailure(const char *function, int32_t status, const std::string &hint = "");
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

// Throws BfFailure (with `hint`) unless `status` is BF_OK.
void check(int32_t status, const char *function, const std::string &hint = "");

// The enumerator that `function` means by `status`: a code two enumerators
// share is told apart by the function that returned it.
const char *statusName(const char *function, int32_t status);
// The sentence for people that goes with statusName().
const char *statusText(const char *function, int32_t status);

// "BF_Open returned 5000 (BF_E_NO_BOARD): No board of the requested family
// is present, or the board number was not found."
std::string describeStatus(const char *function, int32_t status);

}  // namespace qorgrab

#endif
