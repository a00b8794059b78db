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
 *         "externalTriggerPeriodUs": 0, // 0 (off), or >= 10: the external line fires by itself
 *                                       // ("externalTriggerPeriodMs" in ms; not both)
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
 *             "framePeriodUs": 10000,   // >= 10 ("framePeriodMs" >= 1 in ms; not both)
 *             "trigMode": 0,            // 0, 1, 2, 3 or 6, as CiConVTrigModeGet reports
 *             "trigParams": [0, 0, 0],  // three numbers
 *             "source": "ramp",         // "ramp" | "scene" | "files"
 *             "noise": 0,               // scene: read noise standard deviation, grey levels >= 0
 *             "gain": "auto",           // scene: electrons per grey level >= 0 (0: no shot
 *                                       // noise); "auto": full scale holds 10,000 electrons
 *             "fixedPatternNoise": 0,   // scene: fixed pattern standard deviation, grey levels >= 0
 *             "vignetting": 0,          // scene: 0 .. 1, how much darker the corners are
 *             "seed": 0,                // scene texture and noise, and dropProbability
 *             "files": [],              // files: paths, or one folder (name order);
 *                                       // relative to the population file
 *             "dropEvery": 0,           // 0, or >= 2: every Nth frame is lost
 *             "dropProbability": 0,     // 0 <= p < 1: each frame is lost with chance p
 *             "firstFrameNumber": 0,    // the frame counter's start after set-up
 *             "stamp": true             // false: no frame number over the first 4 bytes
 *           }
 *         ]
 *       }
 *     ]
 *   }
 *
 * Every key but "type" may be left out and takes the value shown; given
 * explicitly, each value shown is accepted too. Numbers are
 * unsigned 32-bit integers but for "noise", "gain", "fixedPatternNoise",
 * "vignetting" and "dropProbability". Unknown
 * keys are refused, so a misspelt key does not pass silently, and so is a
 * frame of 4 GiB or more.
 */
#include "config.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "bfsim.h"
#include "image_files.h"
#include "source.h"

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
constexpr uint64_t kUsPerMs = 1000;
// Below this a frame period stops meaning anything on a general-purpose
// machine: the wake-up alone takes longer.
constexpr uint64_t kShortestPeriodUs = 10;
constexpr uint32_t kShortestDropEvery = 2;  // every frame lost would be no camera

namespace fs = std::filesystem;

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

void readOptional(const json &object, const char *key, const std::string &path, bool &out)
{
    if (!object.contains(key)) return;
    if (!object.at(key).is_boolean()) fail(path + "." + key, "must be true or false");
    out = object.at(key).get<bool>();
}

double readNumber(const json &value, const std::string &path)
{
    if (!value.is_number()) fail(path, "must be a number");
    return value.get<double>();
}

// Whether 0 is a period's documented "off" (the external line's) or refused
// (a camera's frame period, which has no off).
enum class ZeroPeriod { Refused, Off };

// A period given in µs under `usKey` or in whole ms under `msKey`, not both;
// nothing when neither is given.
std::optional<uint64_t> readPeriodUs(const json &object, const std::string &path, const char *usKey,
                                     const char *msKey, ZeroPeriod zero)
{
    const bool us = object.contains(usKey), ms = object.contains(msKey);
    if (us && ms) fail(path + "." + usKey, std::string("and \"") + msKey + "\" cannot both be given");
    if (ms) {
        const uint32_t value = readUint(object.at(msKey), path + "." + msKey);
        if (value == 0 && zero == ZeroPeriod::Off) return 0;
        if (value == 0) fail(path + "." + msKey, "must be at least 1");
        return value * kUsPerMs;
    }
    if (!us) return std::nullopt;
    const uint32_t value = readUint(object.at(usKey), path + "." + usKey);
    if (value == 0 && zero == ZeroPeriod::Off) return 0;
    if (value < kShortestPeriodUs) fail(path + "." + usKey, "must be at least 10");
    return value;
}

SourceKind readSourceKind(const json &value, const std::string &path)
{
    if (value == "ramp") return SourceKind::Ramp;
    if (value == "scene") return SourceKind::Scene;
    if (value == "files") return SourceKind::Files;
    fail(path, "must be \"ramp\", \"scene\" or \"files\"");
}

// The paths "files" names, resolved against the population file's folder:
// a list of files, or one folder whose regular files are taken in name order.
std::vector<std::string> listReplayFiles(const json &value, const std::string &path, const fs::path &base)
{
    std::vector<std::string> named;
    if (value.is_string())
        named.push_back(value.get<std::string>());
    else if (value.is_array() && !value.empty())
        for (size_t i = 0; i < value.size(); ++i) {
            if (!value[i].is_string()) fail(path + "[" + std::to_string(i) + "]", "must be a path");
            named.push_back(value[i].get<std::string>());
        }
    else
        fail(path, "must be a path or a non-empty list of paths");
    std::vector<std::string> files;
    for (const std::string &name : named) {
        const fs::path resolved = fs::path(name).is_absolute() ? fs::path(name) : base / name;
        std::error_code error;
        if (named.size() == 1 && fs::is_directory(resolved, error)) {
            for (const auto &item : fs::directory_iterator(resolved, error))
                if (item.is_regular_file()) files.push_back(item.path().string());
            std::sort(files.begin(), files.end());
            if (files.empty()) fail(path, "folder \"" + resolved.string() + "\" holds no files");
        } else
            files.push_back(resolved.string());
    }
    return files;
}

// A file's grey value at the camera's depth, rounded to the nearest.
uint32_t rescale(uint32_t value, uint32_t fileMax, uint32_t cameraMax)
{
    return static_cast<uint32_t>((uint64_t(value) * cameraMax + fileMax / 2) / fileMax);
}

std::shared_ptr<const std::vector<ReplayImage>> loadReplay(const std::vector<std::string> &files,
                                                           const CameraConfig &camera, const std::string &path)
{
    auto images = std::make_shared<std::vector<ReplayImage>>();
    const uint32_t top = camera.bitDepth >= 32 ? 0xFFFFFFFFu : (1u << camera.bitDepth) - 1u;
    for (const std::string &file : files) {
        GreyImage image;
        try {
            image = readGreyImage(file);
        } catch (const std::runtime_error &e) {
            fail(path, "file \"" + file + "\" " + e.what());
        }
        if (image.width != camera.width || image.height != camera.lines)
            fail(path, "file \"" + file + "\" is " + std::to_string(image.width) + " x " +
                           std::to_string(image.height) + ", the camera " + std::to_string(camera.width) +
                           " x " + std::to_string(camera.lines));
        ReplayImage values(image.pixels.size());
        for (size_t i = 0; i < values.size(); ++i) values[i] = rescale(image.pixels[i], image.maxValue, top);
        images->push_back(std::move(values));
    }
    return images;
}

// A number of the scene's sensor in [low, high]; any other source takes only
// the default, 0.
void readSensorNumber(const json &object, const char *key, const std::string &path, bool scene, double low,
                      double high, const char *range, double &out)
{
    if (!object.contains(key)) return;
    const std::string where = path + "." + key;
    out = readNumber(object.at(key), where);
    if (!(out >= low && out <= high) || (out != 0 && !scene))
        fail(where, std::string("must be a number ") + range + ", for a \"scene\" source");
}

void readSceneSensor(const json &object, const std::string &path, bool scene, SceneSensor &sensor)
{
    constexpr double kUnbounded = std::numeric_limits<double>::max();
    readSensorNumber(object, "noise", path, scene, 0, kUnbounded, ">= 0", sensor.readNoise);
    readSensorNumber(object, "fixedPatternNoise", path, scene, 0, kUnbounded, ">= 0", sensor.fixedPattern);
    readSensorNumber(object, "vignetting", path, scene, 0, 1, "from 0 to 1", sensor.vignetting);
    if (!object.contains("gain") || object.at("gain") == "auto") return;
    const std::string where = path + ".gain";
    sensor.gain = readNumber(object.at("gain"), where);
    sensor.autoGain = false;
    if (!(sensor.gain >= 0 && sensor.gain <= kUnbounded) || !scene)
        fail(where, "must be \"auto\" or a number >= 0 electrons per grey level, for a \"scene\" source");
}

void readSource(const json &object, const std::string &path, const fs::path &base, CameraConfig &camera)
{
    SourceConfig &source = camera.source;
    if (object.contains("source")) source.kind = readSourceKind(object.at("source"), path + ".source");
    readSceneSensor(object, path, source.kind == SourceKind::Scene, source.sensor);
    readOptional(object, "seed", path, source.seed);
    if (source.kind == SourceKind::Scene)
        source.scene = buildScene(camera.width, camera.lines, camera.bitDepth, source.seed, source.sensor);
    const bool replay = source.kind == SourceKind::Files;
    // An empty list, the default, names no files, which only a "files" source minds.
    const bool namesFiles = object.contains("files") && object.at("files") != json::array();
    if (!replay && namesFiles) fail(path + ".files", "belongs to a \"files\" source only");
    if (!replay) return;
    if (!object.contains("files")) fail(path + ".files", "is required by a \"files\" source");
    source.files = listReplayFiles(object.at("files"), path + ".files", base);
    source.images = loadReplay(source.files, camera, path + ".files");
}

void readFaults(const json &object, const std::string &path, CameraFaults &faults)
{
    readOptional(object, "dropEvery", path, faults.dropEvery);
    if (faults.dropEvery != 0 && faults.dropEvery < kShortestDropEvery)
        fail(path + ".dropEvery", "must be 0 (none) or at least 2");
    if (object.contains("dropProbability")) {
        faults.dropProbability = readNumber(object.at("dropProbability"), path + ".dropProbability");
        if (!(faults.dropProbability >= 0 && faults.dropProbability < 1))
            fail(path + ".dropProbability", "must be at least 0 and below 1");
    }
    readOptional(object, "firstFrameNumber", path, faults.firstFrameNumber);
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
    if (kConfigTrigModes.count(camera.trigMode) == 0)
        fail(path + ".trigMode", "must be 0, 1, 2, 3 or 6");
}

CameraConfig readCamera(const json &object, const std::string &path, const fs::path &base)
{
    if (!object.is_object()) fail(path, "must be an object");
    refuseUnknownKeys(object, path,
                      {"width", "lines", "bitDepth", "bytesPerPixel", "waitTimeMs",
                       "cameraInfo", "cameraMode", "syncSource", "framePeriodMs", "framePeriodUs",
                       "trigMode", "trigParams", "source", "noise", "gain", "fixedPatternNoise", "vignetting",
                       "seed", "files", "dropEvery",
                       "dropProbability", "firstFrameNumber", "stamp"});
    CameraConfig camera;
    readOptional(object, "width", path, camera.width);
    readOptional(object, "lines", path, camera.lines);
    readOptional(object, "bitDepth", path, camera.bitDepth);
    readOptional(object, "bytesPerPixel", path, camera.bytesPerPixel);
    readOptional(object, "waitTimeMs", path, camera.waitTimeMs);
    readOptional(object, "cameraInfo", path, camera.cameraInfo);
    readOptional(object, "cameraMode", path, camera.cameraMode);
    readOptional(object, "syncSource", path, camera.syncSource);
    if (auto period = readPeriodUs(object, path, "framePeriodUs", "framePeriodMs", ZeroPeriod::Refused))
        camera.framePeriodUs = *period;
    readOptional(object, "trigMode", path, camera.trigMode);
    readOptional(object, "stamp", path, camera.stamp);
    if (object.contains("trigParams")) {
        const json &params = object.at("trigParams");
        const std::string where = path + ".trigParams";
        if (!params.is_array() || params.size() != kTrigParamCount)
            fail(where, "must be an array of three numbers");
        for (size_t i = 0; i < kTrigParamCount; ++i)
            camera.trigParams[i] = readUint(params[i], where + "[" + std::to_string(i) + "]");
    }
    checkCamera(camera, path);
    readFaults(object, path, camera.faults);
    readSource(object, path, base, camera);
    return camera;
}

uint32_t readGeneration(const json &value, const std::string &path)
{
    if (value == "plain") return BFSIM_GEN_PLAIN;
    if (value == "r64") return BFSIM_GEN_R64;
    if (value == "gn2") return BFSIM_GEN_GN2;
    fail(path, "must be \"plain\", \"r64\" or \"gn2\"");
}

BoardConfig readBoard(const json &object, const std::string &path, const fs::path &base)
{
    if (!object.is_object()) fail(path, "must be an object");
    refuseUnknownKeys(object, path,
                      {"type", "generation", "model", "externalTriggerPeriodMs",
                       "externalTriggerPeriodUs", "cameras"});
    BoardConfig board;
    if (!object.contains("type")) fail(path + ".type", "is required");
    board.type = readUint(object.at("type"), path + ".type");
    if (kBoardTypes.count(board.type) == 0) fail(path + ".type", "must be 16, 32, 64 or 208");
    if (object.contains("generation"))
        board.generation = readGeneration(object.at("generation"), path + ".generation");
    readOptional(object, "model", path, board.model);
    if (auto period = readPeriodUs(object, path, "externalTriggerPeriodUs", "externalTriggerPeriodMs",
                                   ZeroPeriod::Off))
        board.externalTriggerPeriodUs = *period;
    if (object.contains("cameras")) {
        const json &cameras = object.at("cameras");
        const std::string where = path + ".cameras";
        if (!cameras.is_array() || cameras.empty())
            fail(where, "must be an array of at least one camera");
        board.cameras.clear();
        for (size_t i = 0; i < cameras.size(); ++i)
            board.cameras.push_back(readCamera(cameras[i], where + "[" + std::to_string(i) + "]", base));
    }
    return board;
}

std::vector<BoardConfig> readPopulation(const json &root, const fs::path &base)
{
    if (!root.is_object()) fail("(top level)", "must be an object with a \"boards\" array");
    refuseUnknownKeys(root, "(top level)", {"boards"});
    if (!root.contains("boards") || !root.at("boards").is_array())
        fail("boards", "must be an array");
    std::vector<BoardConfig> boards;
    const json &list = root.at("boards");
    for (size_t i = 0; i < list.size(); ++i)
        boards.push_back(readBoard(list[i], "boards[" + std::to_string(i) + "]", base));
    return boards;
}

void report(const std::string &source, const std::string &problem)
{
    std::cerr << "qor simulator: configuration " << source << ": " << problem
              << "; no boards are installed\n";
}

}  // namespace

std::optional<std::vector<BoardConfig>> parseConfig(const std::string &text,
                                                    const std::string &source, const std::string &baseDir)
{
    try {
        return readPopulation(json::parse(text), fs::path(baseDir));
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
    return parseConfig(text.str(), source, fs::path(path).parent_path().string());
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
    wide.framePeriodUs = 20000;
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
