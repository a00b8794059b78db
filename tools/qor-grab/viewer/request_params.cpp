#include "viewer/request_params.h"

#include "number_text.h"

namespace qorgrab {
namespace {

constexpr size_t kMaxDecimalDigits32 = 10;  // 4294967295
constexpr size_t kMaxDecimalDigits64 = 19;  // below 2^63, which no frame count reaches
constexpr uint64_t kU32Max = 0xFFFFFFFFu;

uint64_t parseNumber(const httplib::Request &request, const char *name, size_t maxDigits,
                     uint64_t limit, const char *kind)
{
    const std::string text = param(request, name);
    const auto decimal = decimalText(text, false);
    if (!decimal || decimal->size() > maxDigits || std::stoull(*decimal) > limit)
        throw BadRequest(std::string(name) + " must be an unsigned " + kind +
                         " decimal or 0x-hex number, not '" + text + "'");
    return std::stoull(*decimal);
}

}  // namespace

std::string param(const httplib::Request &request, const char *name)
{
    if (!request.has_param(name)) throw BadRequest(std::string("missing parameter '") + name + "'");
    return request.get_param_value(name);
}

uint32_t numberParam(const httplib::Request &request, const char *name)
{
    return numberParamUpTo(request, name, kU32Max);
}

uint32_t numberParamUpTo(const httplib::Request &request, const char *name, uint64_t limit)
{
    const uint64_t value = parseNumber(request, name, kMaxDecimalDigits32, kU32Max, "32-bit");
    if (value > limit)
        throw BadRequest(std::string(name) + " must be at most " + std::to_string(limit) +
                         ", not " + std::to_string(value));
    return static_cast<uint32_t>(value);
}

uint64_t number64Param(const httplib::Request &request, const char *name)
{
    return parseNumber(request, name, kMaxDecimalDigits64, UINT64_MAX >> 1, "64-bit");
}

void sendError(httplib::Response &response, int status, const std::string &reason)
{
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(reason + "\n", "text/plain; charset=utf-8");
}

std::string defaultReason(const httplib::Request &request, int status)
{
    const std::string what = request.method + " " + request.path;
    switch (status) {
    case 404: return "no such page: " + what + " (the README lists the viewer's endpoints)";
    case 405: return what + ": method not allowed";
    case 413: return what + ": the request body is too large";
    case 414: return "the request's address is too long";
    case 400: return what + ": the request could not be read (malformed HTTP or body)";
    default: return what + ": refused with status " + std::to_string(status);
    }
}

}  // namespace qorgrab
