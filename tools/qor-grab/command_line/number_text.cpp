#include "number_text.h"

#include <cctype>
#include <cstdint>
#include <limits>

namespace qorgrab {
namespace {

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

int digitValue(char c, unsigned base)
{
    const unsigned char u = static_cast<unsigned char>(c);
    int value = -1;
    if (std::isdigit(u)) value = c - '0';
    else if (std::isxdigit(u)) value = std::tolower(u) - 'a' + 10;
    return value >= 0 && unsigned(value) < base ? value : -1;
}

// Reads all of `digits` in `base`; nothing on an empty text, a stray
// character or overflow.
std::optional<uint64_t> readDigits(const std::string &digits, unsigned base)
{
    if (digits.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : digits) {
        const int digit = digitValue(c, base);
        if (digit < 0 || value > (kMax - unsigned(digit)) / base) return std::nullopt;
        value = value * base + unsigned(digit);
    }
    return value;
}

}  // namespace

std::optional<std::string> decimalText(const std::string &text, bool allowNegative)
{
    const bool negative = allowNegative && !text.empty() && text[0] == '-';
    std::string digits = text.substr(negative ? 1 : 0);
    unsigned base = 10;
    if (digits.size() > 1 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.erase(0, 2);
    }
    const std::optional<uint64_t> value = readDigits(digits, base);
    if (!value) return std::nullopt;
    return (negative && *value != 0 ? "-" : "") + std::to_string(*value);
}

}  // namespace qorgrab
