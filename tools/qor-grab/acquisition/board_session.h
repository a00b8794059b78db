// One board opened through the library for the life of a command.
#ifndef QOR_GRAB_BOARD_SESSION_H
#define QOR_GRAB_BOARD_SESSION_H

#include <cstdint>
#include <optional>

namespace qorgrab {

// What BF_ImageInfo reports about the board's current camera.
struct CameraGeometry {
    uint32_t cameraInfo = 0;
    uint32_t bitDepth = 0;
    uint32_t bytesPerPixel = 0;
    uint32_t width = 0;
    uint32_t lines = 0;
};

// The board-type code of a family: 208, 16, 32 or 64.
uint32_t familyTypeCode(int32_t family);

class BoardSession {
public:
    // Opens board `number` of `family`; throws BfFailure on any failing status.
    BoardSession(int32_t family, uint32_t number);
    // Opens the board, or returns nothing when the family has no such board
    // (BF_E_NO_BOARD); any other failing status throws.
    static std::optional<BoardSession> openIfPresent(int32_t family, uint32_t number);

    BoardSession(BoardSession &&other) noexcept;
    BoardSession &operator=(BoardSession &&) = delete;
    BoardSession(const BoardSession &) = delete;
    BoardSession &operator=(const BoardSession &) = delete;
    // Closes a board that close() was not reached for (an error is already
    // being reported, so a second failure is not).
    ~BoardSession();

    int32_t slot() const { return slot_; }
    int32_t family() const { return family_; }
    uint32_t number() const { return number_; }

    CameraGeometry imageInfo() const;
    void selectCamera(uint32_t camera);
    // Selects `camera`, or returns false when the board has none of that
    // number (BF_E_CAMERA_SELECT); any other failing status throws.
    bool trySelectCamera(uint32_t camera);
    // How many cameras the board has: the library has no inquiry for it, so
    // each is selected in turn until one is refused. Leaves `reselect`
    // selected afterwards.
    uint32_t countCameras(uint32_t reselect);
    // Closes the board; throws BfFailure when the board refuses.
    void close();

private:
    struct Opened {};
    BoardSession(Opened, int32_t family, uint32_t number, int32_t slot);

    int32_t family_;
    uint32_t number_;
    int32_t slot_;
};

}  // namespace qorgrab

#endif
