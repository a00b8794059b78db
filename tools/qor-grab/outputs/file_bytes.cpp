#include "file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "bf_check.h"

namespace qorgrab {

void writeBytes(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) throw ToolFailure("cannot create " + path + ": " + std::strerror(errno));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0)
        throw ToolFailure("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace qorgrab
