/*
 * The board population: parsed from JSON text, read from a file, or built in.
 */
#ifndef QOR_SIM_CID_CONFIG_H
#define QOR_SIM_CID_CONFIG_H

#include <optional>
#include <string>
#include <vector>

#include "model.h"

namespace bfsim {

// The boards the JSON text describes, or nothing after a message on stderr
// naming `source` and what is wrong. Relative paths of replayed files are
// taken from `baseDir` ("" for the current folder).
std::optional<std::vector<BoardConfig>> parseConfig(const std::string &text,
                                                    const std::string &source,
                                                    const std::string &baseDir = "");

// The boards described by the file at `path`, or nothing after a message on
// stderr naming the file and the problem.
std::optional<std::vector<BoardConfig>> readConfigFile(const std::string &path);

// One board of each type code, as a simulator with no configuration has.
std::vector<BoardConfig> defaultPopulation();

}  // namespace bfsim

#endif
