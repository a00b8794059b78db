/*
 * The simulator's board population, read from the JSON file that
 * QOR_SIM_CONFIG names (or handed to bfsim_load_config as text):
 *
 *   {
 *     "boards": [                       // in enumeration order; may be empty
 *       {
 *         "type": 16,                   // required: 16, 32, 64 or 208; a board's
 *                                       // number is its place among boards of its type
 *         "generation": "plain",        // "plain" | "r64" | "gn2" (BFIsR64/BFIsGn2)
 *         "model": 4112,                // inquiry 3; 4142 is a model without LUTs
 *         "externalTriggerPeriodMs": 0, // > 0: the external line fires by itself
 *         "cameras": [                  // at least one; camera 0 is current at open
 *           {
 *             "width": 640,             // inquiry 0x10001, >= 1
 *             "lines": 480,             // inquiry 0x10002, >= 1
 *             "bitDepth": 8,            // inquiry 0x10004, 1 .. 8 * bytesPerPixel
 *             "bytesPerPixel": 1,       // inquiry 0x10005: 1, 2, 3 or 4
 *             "waitTimeMs": 1000,       // inquiry 0x10006
 *             "cameraInfo": 0,          // inquiry 0x10007
 *             "cameraMode": 2,          // inquiry 0x10003
 *             "syncSource": 0,          // inquiry 0x1001D
 *             "framePeriodMs": 10,      // >= 1
 *             "trigMode": 0,            // 0, 1, 2, 3 or 6, as CiConVTrigModeGet reports
 *             "trigParams": [0, 0, 0]   // three numbers
 *           }
 *         ]
 *       }
 *     ]
 *   }
 *
 * Every key but "type" may be left out and takes the value shown. Numbers are
 * unsigned 32-bit integers. Unknown keys are refused, so a misspelt key does
 * not pass silently, and so is a frame of 4 GiB or more.
 */
#include "config.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "bfsim.h"

namespace bfsim {
namespace {

using nlohmann::json;

const std::set<uint32_t> kBoardTypes{16, 32, 64, 208};
const std::set<uint32_t> kBytesPerPixel{1, 2, 3, 4};
const std::set<uint32_t> kConfigTrigModes{BFSIM_TRIG_FREE_RUN, BFSIM_TRIG_ONE_SHOT,
                                          BFSIM_TRIG_TRIGGERED, BFSIM_TRIG_TRIGGERED_ALT,
                                          BFSIM_TRIG_CONTINUOUS};
constexpr size_t kTrigParamCount = 3;
constexpr uint32_t kBitsPerByte = 8;

// A value that is not what the schema allows, with the path that leads to it.
struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string &path, const std::string &problem)
{
    throw ConfigError(path + ": " + problem);
}

void refuseUnknownKeys(const json &object, const std::string &path,
                       const std::set<std::string> &known)
{
    for (const auto &item : object.items())
        if (known.count(item.key()) == 0) fail(path + "." + item.key(), "unknown key");
}

uint32_t readUint(const json &value, const std::string &path)
{
    if (!value.is_number_integer()) fail(path, "must be an unsigned integer");
    if (value.is_number_unsigned()) {
        const auto wide = value.get<uint64_t>();
        if (wide <= std::numeric_limits<uint32_t>::max()) return static_cast<uint32_t>(wide);
    }
    fail(path, "must be an unsigned 32-bit integer");
}

// Reads an optional key into `out`, leaving the default when it is absent.
void readOptional(const json &object, const char *key, const std::string &path, uint32_t &out)
{
    if (object.contains(key)) out = readUint(object.at(key), path + "." + key);
}

void checkCamera(const CameraConfig &camera, const std::string &path)
{
    if (camera.width == 0) fail(path + ".width", "must be at least 1");
    if (camera.lines == 0) fail(path + ".lines", "must be at least 1");
    if (kBytesPerPixel.count(camera.bytesPerPixel) == 0)
        fail(path + ".bytesPerPixel", "must be 1, 2, 3 or 4");
    if (camera.bitDepth == 0 || camera.bitDepth > kBitsPerByte * camera.bytesPerPixel)
        fail(path + ".bitDepth", "must be between 1 and 8 bits per byte of a pixel");
    const uint64_t frameBytes =
        uint64_t{camera.width} * camera.lines * camera.bytesPerPixel;
    if (frameBytes > std::numeric_limits<uint32_t>::max())
        fail(path, "frame of width x lines x bytesPerPixel does not fit 32 bits");
    if (camera.framePeriodMs == 0) fail(path + ".framePeriodMs", "must be at least 1");
    if (kConfigTrigModes.count(camera.trigMode) == 0)
        fail(path + ".trigMode", "must be 0, 1, 2, 3 or 6");
}

CameraConfig readCamera(const json &object, const std::string &path)
{
    if (!object.is_object()) fail(path, "must be an object");
    refuseUnknownKeys(object, path,
                      {"width", "lines", "bitDepth", "bytesPerPixel", "waitTimeMs",
                       "cameraInfo", "cameraMode", "syncSource", "framePeriodMs", "trigMode",
                       "trigParams"});
    CameraConfig camera;
    readOptional(object, "width", path, camera.width);
    readOptional(object, "lines", path, camera.lines);
    readOptional(object, "bitDepth", path, camera.bitDepth);
    readOptional(object, "bytesPerPixel", path, camera.bytesPerPixel);
    readOptional(object, "waitTimeMs", path, camera.waitTimeMs);
    readOptional(object, "cameraInfo", path, camera.cameraInfo);
    readOptional(object, "cameraMode", path, camera.cameraMode);
    readOptional(object, "syncSource", path, camera.syncSource);
    readOptional(object, "framePeriodMs", path, camera.framePeriodMs);
    readOptional(object, "trigMode", path, camera.trigMode);
    if (object.contains("trigParams")) {
        const json &params = object.at("trigParams");
        const std::string where = path + ".trigParams";
        if (!params.is_array() || params.size() != kTrigParamCount)
            fail(where, "must be an array of three numbers");
        for (size_t i = 0; i < kTrigParamCount; ++i)
            camera.trigParams[i] = readUint(params[i], where + "[" + std::to_string(i) + "]");
    }
    checkCamera(camera, path);
    return camera;
}

uint32_t readGeneration(const json &value, const std::string &path)
{
    if (value == "plain") return BFSIM_GEN_PLAIN;
    if (value == "r64") return BFSIM_GEN_R64;
    if (value == "gn2") return BFSIM_GEN_GN2;
    fail(path, "must be \"plain\", \"r64\" or \"gn2\"");
}

BoardConfig readBoard(const json &object, const std::string &path)
{
    if (!object.is_object()) fail(path, "must be an object");
    refuseUnknownKeys(object, path,
                      {"type", "generation", "model", "externalTriggerPeriodMs", "cameras"});
    BoardConfig board;
    if (!object.contains("type")) fail(path + ".type", "is required");
    board.type = readUint(object.at("type"), path + ".type");
    if (kBoardTypes.count(board.type) == 0) fail(path + ".type", "must be 16, 32, 64 or 208");
    if (object.contains("generation"))
        board.generation = readGeneration(object.at("generation"), path + ".generation");
    readOptional(object, "model", path, board.model);
    readOptional(object, "externalTriggerPeriodMs", path, board.externalTriggerPeriodMs);
    if (object.contains("cameras")) {
        const json &cameras = object.at("cameras");
        const std::string where = path + ".cameras";
        if (!cameras.is_array() || cameras.empty())
            fail(where, "must be an array of at least one camera");
        board.cameras.clear();
        for (size_t i = 0; i < cameras.size(); ++i)
            board.cameras.push_back(readCamera(cameras[i], where + "[" + std::to_string(i) + "]"));
    }
    return board;
}

std::vector<BoardConfig> readPopulation(const json &root)
{
    if (!root.is_object()) fail("(top level)", "must be an object with a \"boards\" array");
    refuseUnknownKeys(root, "(top level)", {"boards"});
    if (!root.contains("boards") || !root.at("boards").is_array())
        fail("boards", "must be an array");
    std::vector<BoardConfig> boards;
    const json &list = root.at("boards");
    for (size_t i = 0; i < list.size(); ++i)
        boards.push_back(readBoard(list[i], "boards[" + std::to_string(i) + "]"));
    return boards;
}

void report(const std::string &source, const std::string &problem)
{
    std::cerr << "qor simulator: configuration " << source << ": " << problem
              << "; no boards are installed\n";
}

}  // namespace

std::optional<std::vector<BoardConfig>> parseConfig(const std::string &text,
                                                    const std::string &source)
{
    try {
        return readPopulation(json::parse(text));
    } catch (const json::exception &e) {
        report(source, std::string("not valid JSON: ") + e.what());
    } catch (const ConfigError &e) {
        report(source, e.what());
    }
    return std::nullopt;
}

std::optional<std::vector<BoardConfig>> readConfigFile(const std::string &path)
{
    const std::string source = "file \"" + path + "\"";
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        report(source, std::string("cannot be opened: ") + std::strerror(errno));
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        report(source, "cannot be read");
        return std::nullopt;
    }
    return parseConfig(text.str(), source);
}

std::vector<BoardConfig> defaultPopulation()
{
    // Model numbers of our own; none is the LUT-less 4142, so every default
    // board takes LUTs. The type-32 board has a second, 12-bit camera so that
    // selecting a camera visibly changes the geometry.
    BoardConfig plain16;
    plain16.type = 16;

    BoardConfig plain32;
    plain32.type = 32;
    plain32.model = 0x1020;
    CameraConfig wide;
    wide.width = 1024;
    wide.lines = 768;
    wide.bitDepth = 12;
    wide.bytesPerPixel = 2;
    wide.cameraInfo = 1;
    wide.cameraMode = 0;
    wide.framePeriodMs = 20;
    plain32.cameras.push_back(wide);

    BoardConfig r64;
    r64.type = 64;
    r64.generation = BFSIM_GEN_R64;
    r64.model = 0x1040;

    BoardConfig gn2;
    gn2.type = 208;
    gn2.generation = BFSIM_GEN_GN2;
    gn2.model = 0x10D0;

    return {plain16, plain32, r64, gn2};
}

}  // namespace bfsim
