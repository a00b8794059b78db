#include "fuzz/documented_statuses.h"

#include <fstream>
#include <regex>

#include "qor_bitflow.h"

namespace qorfuzz {

StatusTable documentedStatuses(const std::string &headerPath)
{
    static const std::regex enumerator(R"(^\s*(BF_\w+)\s*=\s*(\d+))");
    static const std::regex retval(R"(\\retval\s+(BF_\w+))");
    static const std::regex declaration(R"(QOR_CALL\s+(BF_\w+)\s*\()");

    std::map<std::string, int32_t> codes;
    StatusTable table;
    std::set<int32_t> pending{BF_OK};
    std::ifstream header(headerPath);
    std::smatch match;
    for (std::string line; std::getline(header, line);) {
        if (std::regex_search(line, match, enumerator)) {
            codes[match[1]] = std::stoi(match[2]);
        } else if (std::regex_search(line, match, retval)) {
            pending.insert(codes.count(match[1]) ? codes.at(match[1]) : -1);
        } else if (std::regex_search(line, match, declaration)) {
            table[match[1]] = pending;
            pending = {BF_OK};
        }
    }
    return table;
}

}  // namespace qorfuzz
