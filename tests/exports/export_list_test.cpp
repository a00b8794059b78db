// The module exports exactly the thirty functions the public header declares.
#include <gtest/gtest.h>

#include "qor_bitflow.h"

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> namesMatching(const std::string &text, const std::string &pattern)
{
    std::set<std::string> names;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it)
        names.insert((*it)[1]);
    return names;
}

std::set<std::string> headerNames()
{
    return namesMatching(readFile(QOR_SOURCE_DIR "/include/qor_bitflow.h"),
                         R"(QOR_CALL\s+(BF_\w+)\s*\()");
}

TEST(ExportList, HeaderDeclaresThirtyFunctions)
{
    EXPECT_EQ(headerNames().size(), 30u);
}

TEST(ExportList, VersionScriptAndDefFileListExactlyTheHeadersNames)
{
    const std::string map = std::regex_replace(
        readFile(QOR_SOURCE_DIR "/exports/qor_bitflow.map"), std::regex(R"(/\*[^*]*\*/)"), "");
    const std::string global = map.substr(0, map.find("local:"));
    EXPECT_EQ(namesMatching(global, R"((\w+)\s*;)"), headerNames());
    EXPECT_NE(map.find("local:"), std::string::npos);
    EXPECT_NE(map.find("*;", map.find("local:")), std::string::npos);

    const std::string def = readFile(QOR_SOURCE_DIR "/exports/qor_bitflow.def");
    const size_t exports = def.find("EXPORTS");
    ASSERT_NE(exports, std::string::npos);
    EXPECT_EQ(namesMatching(def.substr(exports + 7), R"((\S+))"), headerNames());
}

TEST(ExportList, SharedLibraryExportsExactlyTheHeadersNames)
{
#ifndef QOR_SHARED_LIBRARY
    GTEST_SKIP() << "no ELF shared library in this build";
#else
    FILE *nm = popen("nm -D --defined-only --format=posix '" QOR_SHARED_LIBRARY "'", "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> defined;
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (!name.empty()) defined.insert(name);
    }
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_EQ(defined, headerNames());
#endif
}

}  // namespace

namespace {

// bf_status_name() is a hand-kept switch beside the enum: every enumerator
// must be spelled back for its code, and nothing outside the table named.
TEST(StatusNames, EveryEnumeratorIsNamedForItsCode)
{
    const std::string header = readFile(QOR_SOURCE_DIR "/include/qor_bitflow.h");
    const std::regex enumerator(R"((BF_(?:OK|E_\w+))\s*=\s*(\d+))");
    std::set<int32_t> codes;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), enumerator);
         it != std::sregex_iterator(); ++it) {
        const std::string name = (*it)[1];
        const int32_t code = std::stoi((*it)[2]);
        codes.insert(code);
        EXPECT_NE(std::string(bf_status_name(code)).find(name), std::string::npos)
            << name << " = " << code << " is named " << bf_status_name(code);
    }
    // Success and every code from 5000 to 5045, each with a name of its own.
    EXPECT_EQ(codes.size(), 47u);
    EXPECT_EQ(*codes.rbegin(), 5045);
    std::set<std::string> names;
    std::set<std::string> texts;
    for (int32_t code : codes) {
        names.insert(bf_status_name(code));
        texts.insert(bf_status_text(code));
    }
    EXPECT_EQ(names.size(), codes.size());
    // Every code has a sentence of its own, none of them the fallback's.
    EXPECT_EQ(texts.size(), codes.size());
    EXPECT_EQ(texts.count(bf_status_text(-1)), 0u);
    for (int32_t stranger : {-1, 1, 4999, 5046}) {
        EXPECT_STREQ(bf_status_name(stranger), "BF_E_UNKNOWN") << stranger;
        EXPECT_STREQ(bf_status_text(stranger), "Unknown status.") << stranger;
    }
}

}  // namespace
