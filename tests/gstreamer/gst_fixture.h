/*
 * Test support for the GStreamer element: GStreamer set up once with the
 * build's plugin folder, and a fixture that gives every case a fresh
 * simulated population and fails it if the case leaves anything live.
 */
#ifndef QOR_TESTS_GST_FIXTURE_H
#define QOR_TESTS_GST_FIXTURE_H

#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bfsim.h"

namespace qorgsttest {

// The board every case loads its population for (family 1).
constexpr uint32_t kBoardType = 16;
constexpr int kFamily = 1;

// A population of one type-16 board with one camera, `cameraKeys` being the
// camera's JSON members ("\"width\":64,...", or empty for the defaults).
std::string population(const std::string &cameraKeys);

class GstSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    void loadCamera(const std::string &cameraKeys);

    // A harness around a new qorbitflowsrc with a bus of its own (the
    // harness gives it none), so that its errors can be read.
    GstHarness *harness(const std::string &properties = "");
    // Tears the harness down, for a case that makes several in turn.
    void closeHarness();
    // The next error the element posted within `timeoutMs`, or "" if none.
    std::string nextError(uint32_t timeoutMs);

    GstHarness *h = nullptr;
    GstBus *bus = nullptr;
};

// Sets properties from "name=value name=value" as gst-launch does.
void setProperties(GstElement *element, const std::string &properties);

// Success when the buffer holds frame `frame` of the loaded camera, `width`
// x `lines` at `bytesPerPixel`, lines `stride` bytes apart (0: packed).
::testing::AssertionResult holdsFrame(GstBuffer *buffer, uint32_t width, uint32_t lines, uint32_t bytesPerPixel,
                                      uint32_t frame, uint32_t stride = 0);

}  // namespace qorgsttest

#endif
