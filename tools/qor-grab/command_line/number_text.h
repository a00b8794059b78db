// The numbers qor-grab reads: decimal, or hexadecimal after 0x.
#ifndef QOR_GRAB_NUMBER_TEXT_H
#define QOR_GRAB_NUMBER_TEXT_H

#include <optional>
#include <string>

namespace qorgrab {

// The decimal spelling of `text`, a decimal or 0x-hex integer with an
// optional leading '-' when `allowNegative`; nothing when it is not one or
// does not fit in 64 bits. A leading zero is still decimal ("010" is ten),
// never octal.
std::optional<std::string> decimalText(const std::string &text, bool allowNegative);

}  // namespace qorgrab

#endif
