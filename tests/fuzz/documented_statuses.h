/*
 * Which statuses each exported function may return, read from the public
 * header itself: 0, and the code of every "\retval" line in the comment
 * above the function's declaration. Reading the header keeps the header the
 * one place that documents them, so the fuzzer holds the library to it.
 */
#ifndef QOR_TESTS_FUZZ_DOCUMENTED_STATUSES_H
#define QOR_TESTS_FUZZ_DOCUMENTED_STATUSES_H

#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace qorfuzz {

using StatusTable = std::map<std::string, std::set<int32_t>>;

// Function name -> documented statuses; empty when the header cannot be read.
StatusTable documentedStatuses(const std::string &headerPath);

}  // namespace qorfuzz

#endif
