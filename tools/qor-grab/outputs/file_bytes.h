// Writing a whole encoded file at once.
#ifndef QOR_GRAB_FILE_BYTES_H
#define QOR_GRAB_FILE_BYTES_H

#include <cstdint>
#include <string>
#include <vector>

namespace qorgrab {

// Creates or replaces `path` with `bytes`; throws ToolFailure when it cannot.
void writeBytes(const std::string &path, const std::vector<uint8_t> &bytes);

}  // namespace qorgrab

#endif
