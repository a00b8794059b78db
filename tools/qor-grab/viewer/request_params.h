// Reading a request's parameters, and the answers for the requests the
// viewer will not pass on: every refusal carries its reason as text.
#ifndef QOR_GRAB_REQUEST_PARAMS_H
#define QOR_GRAB_REQUEST_PARAMS_H

#include <httplib.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

namespace qorgrab {

// A request refused with `status` (400 unless said otherwise) and the
// exception's text as the reason.
class BadRequest : public std::runtime_error {
public:
    explicit BadRequest(const std::string &reason, int status = 400)
        : std::runtime_error(reason), status_(status)
    {
    }
    int status() const { return status_; }

private:
    int status_;
};

// The parameter `name`; BadRequest when the request has none.
std::string param(const httplib::Request &request, const char *name);

// The parameter `name` as an unsigned 32-bit decimal or 0x-hex number.
uint32_t numberParam(const httplib::Request &request, const char *name);

// numberParam(), and at most `limit`.
uint32_t numberParamUpTo(const httplib::Request &request, const char *name, uint64_t limit);

// The parameter `name` as an unsigned 64-bit decimal or 0x-hex number.
uint64_t number64Param(const httplib::Request &request, const char *name);

// The parameter `name`, which must be one of the keys of `choices`.
template <typename T>
T choiceParam(const httplib::Request &request, const char *name, const std::map<std::string, T> &choices)
{
    const std::string text = param(request, name);
    const auto found = choices.find(text);
    if (found != choices.end()) return found->second;
    std::string allowed;
    for (const auto &choice : choices) allowed += (allowed.empty() ? "" : ", ") + choice.first;
    throw BadRequest(std::string(name) + " must be one of " + allowed + ", not '" + text + "'");
}

// Sets `response` to `status` with `reason` as its plain-text body.
void sendError(httplib::Response &response, int status, const std::string &reason);

// The reason for an error answer the server gave without one of its own
// (no such path, a request it could not read).
std::string defaultReason(const httplib::Request &request, int status);

}  // namespace qorgrab

#endif
