/**
 * \file qor_bitflow.h
 * \brief qor_bitflow: a flat C interface to frame-grabber boards driven through their vendor's SDK (`Cid`, `BFD`).
 *
 * Every function returns a 32-bit status: #BF_OK (0) or one of the BF_E_
 * codes of ::bf_status; bf_status_name() spells a status and
 * bf_status_text() explains it. Every function but BF_Open() takes the slot
 * index that BF_Open() handed out; a slot outside 0..9, or one that holds no
 * open board, answers #BF_E_SLOT_NOT_OPEN before anything else happens.
 * Output pointers that are null are never written through.
 *
 * Threads: calls on different slots may run at the same time on different
 * threads; calls on one slot must be serialised by the caller (one thread
 * per board is the usual shape). BF_Open() and BF_Close() may run while
 * other threads work on their own slots, and an open never hands out a slot
 * that another thread holds. The waits (BF_GetFrame(), BF_Wait4Frame(),
 * BF_Wait()) and BF_TriggerMode()'s message box hold nothing another slot
 * needs. BF_FreeBuffer() also stops every other board that registered the
 * block it releases; those boards' owners see capture into it refused from
 * then on.
 *
 * Functions return at once unless their description says they block.
 */
#ifndef QOR_BITFLOW_H
#define QOR_BITFLOW_H

#include <stdint.h>

/* The library's version; the export table holds only the thirty BF_
 * functions, so the version is known at compile time only. */
#define QOR_BITFLOW_VERSION_MAJOR 1 /**< Major version: changes when the interface breaks. */
#define QOR_BITFLOW_VERSION_MINOR 0 /**< Minor version: additions that keep the interface. */
#define QOR_BITFLOW_VERSION_PATCH 0 /**< Patch version: fixes only. */

/** Calling convention of every entry point: the platform's C convention. */
#if defined(_WIN32)
#define QOR_CALL __cdecl
#else
#define QOR_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library is built with hidden visibility; its entry points are not. */
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

/** Status codes that every function returns.
 *
 * Keep bf_status_name() and bf_status_text() below in step with this list.
 * 5037 serves two functions: the function that returned it tells which
 * meaning applies. */
enum bf_status {
    BF_OK = 0,                       /**< success */
    BF_E_NO_BOARD = 5000,            /**< no board of the family, or it cannot be found */
    BF_E_OPEN_FAILED = 5001,         /**< the board cannot be opened, or all slots are in use */
    BF_E_SLOT_NOT_OPEN = 5002,       /**< the slot holds no open board */
    BF_E_ALLOC_FAILED = 5003,        /**< the aligned buffer cannot be allocated */
    BF_E_TRIGGER_MODE = 5004,        /**< trigger mode refused; or grab while externally triggered in mode 1 */
    BF_E_DESTINATION_ACTIVE = 5005,  /**< camera cannot change while a destination is registered */
    BF_E_CAMERA_SELECT = 5006,       /**< the board refused the camera */
    BF_E_LUT_DESTINATION = 5007,     /**< a LUT cannot load while a destination is registered */
    BF_E_LUT_UNSUPPORTED = 5008,     /**< the board model has no LUT */
    BF_E_LUT_TOO_SHORT = 5009,       /**< the table is shorter than its kind needs */
    BF_E_LUT_KIND = 5010,            /**< LUT kind outside 0..6 */
    BF_E_LUT_WRITE = 5011,           /**< the board refused the LUT */
    BF_E_NULL_DESTINATION = 5012,    /**< the destination pointer is null */
    BF_E_BYTES_PER_PIXEL = 5013,     /**< 3 bytes per pixel is not supported */
    BF_E_ACQ_SETUP = 5014,           /**< the destination cannot be registered */
    BF_E_NO_ACQUISITION = 5015,      /**< nothing is set up to acquire into */
    BF_E_OVERFLOW_RESET = 5016,      /**< the reset after an overflow failed */
    BF_E_SNAP = 5017,                /**< the snap command failed */
    BF_E_FRAME_WAIT = 5018,          /**< waiting for the snapped frame failed */
    BF_E_GRAB = 5019,                /**< the grab command failed */
    BF_E_SIGNAL_WAIT = 5020,         /**< waiting for end of frame failed or timed out */
    BF_E_CLOSE = 5021,               /**< the board cannot be closed */
    BF_E_RESET_STOP = 5022,          /**< the stop before a reset failed */
    BF_E_RESET = 5023,               /**< the reset command failed */
    BF_E_MASK_UNSUPPORTED = 5024,    /**< the board model has no bit mask */
    BF_E_MASK_SET = 5025,            /**< the board refused the bit mask */
    BF_E_BUFFER_COUNT = 5026,        /**< a chain needs at least one buffer */
    BF_E_NULL_BUFFER_LIST = 5027,    /**< the buffer list pointer is null */
    BF_E_QTAB_MEMORY = 5028,         /**< no memory for the QTab arrays */
    BF_E_REL_QTAB = 5029,            /**< a relative QTab cannot be made (or the buffer is too large) */
    BF_E_PHYS_QTAB = 5030,           /**< a physical QTab cannot be made */
    BF_E_CHAIN_LINK = 5031,          /**< the QTabs cannot be linked */
    BF_E_CHAIN_ENGAGE = 5032,        /**< the chain cannot be engaged */
    BF_E_DMA_COMMAND = 5033,         /**< the DMA command failed */
    BF_E_QTAB_FREE = 5034,           /**< a QTab cannot be released; the chain stays in force */
    BF_E_CHAIN_ACTIVE = 5035,        /**< a buffer chain is in force */
    BF_E_NO_CHAIN = 5036,            /**< no buffer chain is in force */
    BF_E_CHAIN_REQUIRED = 5037,      /**< BF_Grab/BF_Wait: the chain was asked for but none is in force */
    BF_E_NTG_SETUP = 5037,           /**< BF_NTGSetup: the timing generator refused the set-up */
    BF_E_ENCODER_DIVIDER = 5038,     /**< the encoder divider was refused */
    BF_E_GPOUT_GET = 5039,           /**< the outputs cannot be read */
    BF_E_GPOUT_SET = 5040,           /**< the outputs cannot be set */
    BF_E_ENGINE = 5041,              /**< engine selector above 1 */
    BF_E_FRAME_SIZE = 5042,          /**< the frame size was refused */
    BF_E_REGISTER_UNSUPPORTED = 5043,/**< no such register (or, by name, not found) */
    BF_E_REGISTER_WRITE = 5044,      /**< the register write failed */
    BF_E_REGISTER_NAME = 5045        /**< the register's name cannot be read */
};

/** The enumerator's spelling of a status, for logs.
 * \param status any value a function returned
 * \return the name of the ::bf_status enumerator with that value (5037
 *         answers both of its names), or "BF_E_UNKNOWN"; a string constant. */
static inline const char *bf_status_name(int32_t status)
{
    switch (status) {
    case BF_OK: return "BF_OK";
    case BF_E_NO_BOARD: return "BF_E_NO_BOARD";
    case BF_E_OPEN_FAILED: return "BF_E_OPEN_FAILED";
    case BF_E_SLOT_NOT_OPEN: return "BF_E_SLOT_NOT_OPEN";
    case BF_E_ALLOC_FAILED: return "BF_E_ALLOC_FAILED";
    case BF_E_TRIGGER_MODE: return "BF_E_TRIGGER_MODE";
    case BF_E_DESTINATION_ACTIVE: return "BF_E_DESTINATION_ACTIVE";
    case BF_E_CAMERA_SELECT: return "BF_E_CAMERA_SELECT";
    case BF_E_LUT_DESTINATION: return "BF_E_LUT_DESTINATION";
    case BF_E_LUT_UNSUPPORTED: return "BF_E_LUT_UNSUPPORTED";
    case BF_E_LUT_TOO_SHORT: return "BF_E_LUT_TOO_SHORT";
    case BF_E_LUT_KIND: return "BF_E_LUT_KIND";
    case BF_E_LUT_WRITE: return "BF_E_LUT_WRITE";
    case BF_E_NULL_DESTINATION: return "BF_E_NULL_DESTINATION";
    case BF_E_BYTES_PER_PIXEL: return "BF_E_BYTES_PER_PIXEL";
    case BF_E_ACQ_SETUP: return "BF_E_ACQ_SETUP";
    case BF_E_NO_ACQUISITION: return "BF_E_NO_ACQUISITION";
    case BF_E_OVERFLOW_RESET: return "BF_E_OVERFLOW_RESET";
    case BF_E_SNAP: return "BF_E_SNAP";
    case BF_E_FRAME_WAIT: return "BF_E_FRAME_WAIT";
    case BF_E_GRAB: return "BF_E_GRAB";
    case BF_E_SIGNAL_WAIT: return "BF_E_SIGNAL_WAIT";
    case BF_E_CLOSE: return "BF_E_CLOSE";
    case BF_E_RESET_STOP: return "BF_E_RESET_STOP";
    case BF_E_RESET: return "BF_E_RESET";
    case BF_E_MASK_UNSUPPORTED: return "BF_E_MASK_UNSUPPORTED";
    case BF_E_MASK_SET: return "BF_E_MASK_SET";
    case BF_E_BUFFER_COUNT: return "BF_E_BUFFER_COUNT";
    case BF_E_NULL_BUFFER_LIST: return "BF_E_NULL_BUFFER_LIST";
    case BF_E_QTAB_MEMORY: return "BF_E_QTAB_MEMORY";
    case BF_E_REL_QTAB: return "BF_E_REL_QTAB";
    case BF_E_PHYS_QTAB: return "BF_E_PHYS_QTAB";
    case BF_E_CHAIN_LINK: return "BF_E_CHAIN_LINK";
    case BF_E_CHAIN_ENGAGE: return "BF_E_CHAIN_ENGAGE";
    case BF_E_DMA_COMMAND: return "BF_E_DMA_COMMAND";
    case BF_E_QTAB_FREE: return "BF_E_QTAB_FREE";
    case BF_E_CHAIN_ACTIVE: return "BF_E_CHAIN_ACTIVE";
    case BF_E_NO_CHAIN: return "BF_E_NO_CHAIN";
    case BF_E_CHAIN_REQUIRED: return "BF_E_CHAIN_REQUIRED/BF_E_NTG_SETUP";
    case BF_E_ENCODER_DIVIDER: return "BF_E_ENCODER_DIVIDER";
    case BF_E_GPOUT_GET: return "BF_E_GPOUT_GET";
    case BF_E_GPOUT_SET: return "BF_E_GPOUT_SET";
    case BF_E_ENGINE: return "BF_E_ENGINE";
    case BF_E_FRAME_SIZE: return "BF_E_FRAME_SIZE";
    case BF_E_REGISTER_UNSUPPORTED: return "BF_E_REGISTER_UNSUPPORTED";
    case BF_E_REGISTER_WRITE: return "BF_E_REGISTER_WRITE";
    case BF_E_REGISTER_NAME: return "BF_E_REGISTER_NAME";
    default: return "BF_E_UNKNOWN";
    }
}

/** One sentence saying what went wrong, in the caller's terms, for messages
 * shown to people.
 * \param status any value a function returned
 * \return the sentence, or "Unknown status." for a value that is no
 *         ::bf_status; a string constant. */
static inline const char *bf_status_text(int32_t status)
{
    switch (status) {
    case BF_OK:
        return "Success.";
    case BF_E_NO_BOARD:
        return "No board of the requested family is present, or the board number was not found.";
    case BF_E_OPEN_FAILED:
        return "The board could not be opened, or all ten slots are in use.";
    case BF_E_SLOT_NOT_OPEN:
        return "The slot holds no open board; open one with BF_Open first.";
    case BF_E_ALLOC_FAILED:
        return "The buffer could not be allocated: the size is not positive or memory ran out.";
    case BF_E_TRIGGER_MODE:
        return "The trigger mode was refused: the board rejected it, or a grab was asked for in one-shot mode with the external trigger on.";
    case BF_E_DESTINATION_ACTIVE:
        return "The camera cannot change while a destination is registered; call BF_Cleanup first.";
    case BF_E_CAMERA_SELECT:
        return "The board refused the camera number.";
    case BF_E_LUT_DESTINATION:
        return "A lookup table cannot be loaded while a destination is registered; call BF_Cleanup first.";
    case BF_E_LUT_UNSUPPORTED:
        return "This board model has no lookup table.";
    case BF_E_LUT_TOO_SHORT:
        return "The lookup table is shorter than its kind requires.";
    case BF_E_LUT_KIND:
        return "The lookup-table kind is outside 0 to 6.";
    case BF_E_LUT_WRITE:
        return "The board refused the lookup table.";
    case BF_E_NULL_DESTINATION:
        return "The destination buffer pointer is null.";
    case BF_E_BYTES_PER_PIXEL:
        return "The camera delivers 3 bytes per pixel, which is not supported.";
    case BF_E_ACQ_SETUP:
        return "The board refused the destination, or the frame does not fit in 32 bits.";
    case BF_E_NO_ACQUISITION:
        return "Nothing is set up to acquire into; call BF_Setup or BF_BufferSetup first.";
    case BF_E_OVERFLOW_RESET:
        return "The board overflowed and the reset that recovers from it failed.";
    case BF_E_SNAP:
        return "The board refused the snap command.";
    case BF_E_FRAME_WAIT:
        return "Waiting for the snapped frame failed or timed out.";
    case BF_E_GRAB:
        return "The board refused the grab command.";
    case BF_E_SIGNAL_WAIT:
        return "No frame ended within the time-out, or the wait was cancelled.";
    case BF_E_CLOSE:
        return "The board refused to close; the slot stays open.";
    case BF_E_RESET_STOP:
        return "The stop that begins an acquisition reset failed.";
    case BF_E_RESET:
        return "The board refused the acquisition reset.";
    case BF_E_MASK_UNSUPPORTED:
        return "This board model has no bit mask.";
    case BF_E_MASK_SET:
        return "The board refused the bit mask.";
    case BF_E_BUFFER_COUNT:
        return "A buffer chain needs at least one buffer.";
    case BF_E_NULL_BUFFER_LIST:
        return "The buffer list pointer is null.";
    case BF_E_QTAB_MEMORY:
        return "There is no memory for the buffer chain's tables.";
    case BF_E_REL_QTAB:
        return "The board refused a chain buffer (relative QTab), or the buffer size does not fit in 32 bits.";
    case BF_E_PHYS_QTAB:
        return "The board could not map a chain buffer (physical QTab).";
    case BF_E_CHAIN_LINK:
        return "The chain's buffers could not be linked.";
    case BF_E_CHAIN_ENGAGE:
        return "The board could not engage the buffer chain.";
    case BF_E_DMA_COMMAND:
        return "The board refused to start the chain's DMA.";
    case BF_E_QTAB_FREE:
        return "A chain buffer could not be released; the chain stays in force, so call BF_BufferCleanup again.";
    case BF_E_CHAIN_ACTIVE:
        return "A buffer chain is in force; release it with BF_BufferCleanup.";
    case BF_E_NO_CHAIN:
        return "No buffer chain is in force.";
    case BF_E_CHAIN_REQUIRED:
        return "A chain was asked for but none is in force (from BF_NTGSetup: the board refused the timing set-up).";
    case BF_E_ENCODER_DIVIDER:
        return "The board refused the encoder divider.";
    case BF_E_GPOUT_GET:
        return "The general-purpose outputs could not be read.";
    case BF_E_GPOUT_SET:
        return "The general-purpose outputs could not be set.";
    case BF_E_ENGINE:
        return "The acquisition engine number is above 1.";
    case BF_E_FRAME_SIZE:
        return "The board refused the frame size.";
    case BF_E_REGISTER_UNSUPPORTED:
        return "No such register on this board (by name: no register has that name).";
    case BF_E_REGISTER_WRITE:
        return "The board refused the register write.";
    case BF_E_REGISTER_NAME:
        return "The register's name could not be read.";
    default: return "Unknown status.";
    }
}

/** Board families accepted by BF_Open(). */
enum bf_family {
    BF_FAMILY_208 = 0, /**< board-type code 208 */
    BF_FAMILY_16 = 1,  /**< board-type code 16 */
    BF_FAMILY_32 = 2,  /**< board-type code 32 */
    BF_FAMILY_64 = 3   /**< board-type code 64 */
};

/* ---- Boards ---------------------------------------------------------- */

/**
 * \brief Opens board `boardNumber` of `family` into the lowest free slot and
 * reports its geometry.
 * \param reserved          not used; pass NULL
 * \param[out] bitDepthOut  bits per pixel of the current camera
 * \param[out] bytesPerPixelOut bytes each pixel takes in memory
 * \param[out] widthOut     pixels per line
 * \param[out] linesOut     lines per frame
 * \param boardNumber       the board's number among boards of its family, from 0
 * \param family            a ::bf_family value
 * \param[out] slotOut      the slot every other function takes, or -1 on failure
 * \retval BF_OK
 * \retval BF_E_NO_BOARD     no board of the family, or board not found
 * \retval BF_E_OPEN_FAILED  the board cannot be opened, or all ten slots are open
 * \par Afterwards
 * Set up an acquisition (BF_AllocBuffer() and BF_Setup(), or
 * BF_BufferSetup()); close the board with BF_Close() when done.
 */
int32_t QOR_CALL BF_Open(void *reserved, uint32_t *bitDepthOut, uint32_t *bytesPerPixelOut,
                         uint32_t *widthOut, uint32_t *linesOut, uint32_t boardNumber,
                         int32_t family, int32_t *slotOut);

/**
 * \brief Asks the board afresh for its camera value (inquiry 0x10007), bit
 * depth, bytes per pixel, width and lines, and reports the registered
 * destination.
 * \param[out] cameraInfoOut    the camera value
 * \param[out] bitDepthOut      bits per pixel
 * \param[out] bytesPerPixelOut bytes each pixel takes in memory
 * \param[out] widthOut         pixels per line
 * \param[out] linesOut         lines per frame
 * \param[out] destinationOut   the registered single destination, or NULL
 * \param slot                  the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 */
int32_t QOR_CALL BF_ImageInfo(uint32_t *cameraInfoOut, uint32_t *bitDepthOut,
                              uint32_t *bytesPerPixelOut, uint32_t *widthOut, uint32_t *linesOut,
                              void **destinationOut, int32_t slot);

/**
 * \brief Switches the board to camera `camera`.
 * \param camera the camera's number on the board, from 0
 * \param slot   the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_DESTINATION_ACTIVE  a single destination is registered
 * \retval BF_E_CAMERA_SELECT       the board refused the camera
 * \par Afterwards
 * Read the new camera's geometry with BF_ImageInfo() before sizing buffers.
 */
int32_t QOR_CALL BF_SelectCamera(uint32_t camera, int32_t slot);

/**
 * \brief Closes the board, first stopping any acquisition and releasing a
 * chain, destination or signal still in force, as their partner calls would.
 * Buffers from BF_AllocBuffer() stay the caller's.
 *
 * A board opened into the slot afterwards has no acquisition, no LUT in use
 * and its camera's settings read afresh. While another board stays open the
 * slot keeps three things from the board before: the count of overflow
 * resets (BF_Status()), whether the external trigger was enabled
 * (BF_TriggerMode()), and whether BF_AllocBuffer() handed out a block; all
 * three start from zero once every board has been closed.
 * \param slot the slot from BF_Open(); free for reuse once this succeeds
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_CLOSE  the board refused a release or the close; the slot stays
 *                     open with what is left recorded, and closing again resumes
 * \par Before
 * Release a block from BF_AllocBuffer() with BF_FreeBuffer(); the tidy order
 * is still BF_Stop(), then BF_Cleanup() or BF_BufferCleanup().
 */
int32_t QOR_CALL BF_Close(int32_t slot);

/* ---- Single destination ---------------------------------------------- */

/**
 * \brief Allocates *sizeIn bytes on a 4096-byte boundary into *bufferOut.
 * \param[in] sizeIn      the number of bytes: width x bytes per pixel x lines for a frame
 * \param[out] bufferOut  the block, or NULL on failure
 * \param slot            the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_ALLOC_FAILED  size 0 or less, or no memory; *bufferOut is null
 * \par Afterwards
 * Register the block with BF_Setup(); once registered, BF_FreeBuffer()
 * releases it.
 */
int32_t QOR_CALL BF_AllocBuffer(int32_t *sizeIn, void **bufferOut, int32_t slot);

/**
 * \brief Releases the registered destination if BF_AllocBuffer() handed it
 * out, this slot registered that very block, and it is still live. Every
 * acquisition writing into the block is ended first, on every board: a
 * single destination is stopped, a chain that holds the block among its
 * buffers is aborted. Nothing is written into it once this returns, and
 * acquisition into it is refused on those slots until their next set-up.
 * A slot whose destination another slot has released already releases
 * nothing, so an address handed out again is never released by mistake.
 * \param slot the slot from BF_Open()
 * \retval BF_OK  also when there was nothing of the library's to release
 * \retval BF_E_SLOT_NOT_OPEN
 * \par Afterwards
 * Call BF_Cleanup() to drop the registration; call this first, since after
 * BF_Cleanup() the library no longer knows which block to release.
 */
int32_t QOR_CALL BF_FreeBuffer(int32_t slot);

/**
 * \brief Registers `dest` (width x bytes per pixel x lines bytes) as the
 * destination. A refused set-up leaves the earlier destination registered.
 *
 * A slot holds one acquisition at a time: a buffer chain in force is first
 * released, as BF_BufferCleanup() would release it (stop it with BF_Stop()
 * first if it is running). A block from BF_AllocBuffer() smaller than one
 * frame is refused before the board sees it.
 * \param dest  the frame buffer, from BF_AllocBuffer() or the caller's own
 * \param width pixels per line to acquire, normally the width BF_Open() reported
 * \param slot  the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NULL_DESTINATION
 * \retval BF_E_BYTES_PER_PIXEL  the camera has 3 bytes per pixel
 * \retval BF_E_ACQ_SETUP        refused, the size does not fit in 32 bits, or a
 *                              block from BF_AllocBuffer() smaller than the frame
 * \retval BF_E_QTAB_FREE        the chain in force could not be released; it
 *                              stays in force and nothing else changed
 * \par Afterwards
 * Capture with BF_GetFrame(), BF_FastGetFrame() or BF_Grab(); release with
 * BF_FreeBuffer() (for a block from BF_AllocBuffer()) and BF_Cleanup().
 */
int32_t QOR_CALL BF_Setup(void *dest, uint32_t width, int32_t slot);

/**
 * \brief Forgets the single destination and frees its signal.
 * \param slot the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NO_ACQUISITION  no destination is registered
 * \retval BF_E_CHAIN_ACTIVE    a buffer chain is in force
 * \par Afterwards
 * The caller may free its own buffer; BF_Close() or a new BF_Setup() may follow.
 */
int32_t QOR_CALL BF_Cleanup(int32_t slot);

/**
 * \brief Sets the acquired window of `engine`; run BF_Setup() again afterwards.
 * \param slot   the slot from BF_Open()
 * \param xSize  pixels per line to acquire
 * \param ySize  lines per frame to acquire
 * \param engine the acquisition engine, 0 or 1
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_ENGINE      engine above 1
 * \retval BF_E_FRAME_SIZE  the board refused the size
 */
int32_t QOR_CALL BF_AqFrameSize(int32_t slot, uint32_t xSize, uint32_t ySize, int32_t engine);

/* ---- Capture ---------------------------------------------------------- */

/**
 * \brief Snaps one frame and waits for it, then polls the board until idle
 * for up to its wait time; the poll also ends when the SDK's clock fails or
 * stalls. A snap refused with an overflow is issued once more after the
 * overflow reset, so #BF_OK always means a new frame arrived.
 * \param slot the slot from BF_Open(), with a destination or chain set up
 * \retval BF_OK               the frame is in the destination
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NO_ACQUISITION  nothing set up, the destination was freed, or the
 *                              chain's signal is not live
 * \retval BF_E_OVERFLOW_RESET  the reset after an overflow failed
 * \retval BF_E_SNAP            the snap failed without an overflow, or failed
 *                              again when issued once more after the overflow reset
 * \retval BF_E_FRAME_WAIT      waiting for the frame failed
 * \par Blocking
 * Blocks until the frame has arrived, at most about twice the board's wait
 * time (1000 ms on the simulated boards).
 */
int32_t QOR_CALL BF_GetFrame(int32_t slot);

/**
 * \brief Starts a snap and returns at once; wait with BF_Wait4Frame().
 * \param slot the slot from BF_Open(), with a destination or chain set up
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NO_ACQUISITION
 * \retval BF_E_SNAP
 * \par Afterwards
 * BF_Wait4Frame() before reading the destination.
 */
int32_t QOR_CALL BF_FastGetFrame(int32_t slot);

/**
 * \brief Starts a continuous grab; `chained` non-zero programs the chain's length.
 * \param slot    the slot from BF_Open(), with a destination or chain set up
 * \param chained non-zero to acquire into the chain set up by BF_BufferSetup()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NO_ACQUISITION
 * \retval BF_E_TRIGGER_MODE    trigger mode 1 with the external trigger enabled
 * \retval BF_E_CHAIN_REQUIRED  `chained` asked without a chain
 * \retval BF_E_GRAB
 * \par Afterwards
 * Wait for frames with BF_Wait4Frame() or BF_Wait(); end with BF_Stop().
 */
int32_t QOR_CALL BF_Grab(int32_t slot, int32_t chained);

/**
 * \brief Stops a grab.
 * \param slot the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NO_ACQUISITION
 * \par Afterwards
 * Release the destination or chain, or grab again.
 */
int32_t QOR_CALL BF_Stop(int32_t slot);

/**
 * \brief Waits up to `timeout` ms for the next end of frame.
 * \param timeout       the longest wait, in milliseconds
 * \param slot          the slot from BF_Open(), acquiring
 * \param[out] countOut the number of frames that ended since the previous
 *                       wait; more than 1 means frames were missed
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NO_ACQUISITION
 * \retval BF_E_SIGNAL_WAIT  time-out or failure
 * \par Blocking
 * Blocks until a frame ends or `timeout` ms pass; after a snap, also until
 * the frame's transfer is done.
 */
int32_t QOR_CALL BF_Wait4Frame(uint32_t timeout, int32_t slot, uint32_t *countOut);

/**
 * \brief Reports the overflow resets, the acquisition status (non-zero while
 * busy), a zero, and the frame count.
 * \param[out] overflowResetsOut resets made to recover from overflows since BF_Open()
 * \param[out] statusOut         the acquisition status, non-zero while busy
 * \param[out] zeroOut           always 0
 * \param[out] frameCountOut     the board's frame count
 * \param slot                   the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 */
int32_t QOR_CALL BF_Status(uint32_t *overflowResetsOut, uint32_t *statusOut, int32_t *zeroOut,
                           uint32_t *frameCountOut, int32_t slot);

/**
 * \brief Stops and resets the acquisition.
 * \param slot the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_RESET_STOP
 * \retval BF_E_RESET
 * \par Afterwards
 * The destination or chain stays set up: capture again, or release it.
 */
int32_t QOR_CALL BF_ResetAcquisition(int32_t slot);

/* ---- Buffer chain ----------------------------------------------------- */

/**
 * \brief Sets up a chain over `bufferCount` caller buffers, each width x
 * bytes per pixel x lines bytes; on failure everything made so far is released.
 * Should the board refuse one of those releases, what it still holds stays as
 * a chain in force, which BF_BufferCleanup() (or BF_Close()) finishes
 * releasing. A call refused on its arguments changes nothing; one that goes
 * ahead first releases the acquisition the slot holds: a chain as
 * BF_BufferCleanup() does, a single destination as BF_Cleanup() does. A
 * buffer that is a block from BF_AllocBuffer() smaller than one frame is
 * refused before any of that.
 * \param buffers     `bufferCount` buffer pointers; the board fills them in turn
 * \param width       pixels per line to acquire
 * \param bufferCount the number of buffers, at least 1
 * \param slot        the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_BYTES_PER_PIXEL
 * \retval BF_E_BUFFER_COUNT      bufferCount below 1
 * \retval BF_E_NULL_BUFFER_LIST
 * \retval BF_E_QTAB_MEMORY
 * \retval BF_E_REL_QTAB          also when the buffer size does not fit in 32 bits, or
 *                               a block from BF_AllocBuffer() is smaller than the frame
 * \retval BF_E_PHYS_QTAB
 * \retval BF_E_CHAIN_LINK
 * \retval BF_E_CHAIN_ENGAGE
 * \retval BF_E_DMA_COMMAND
 * \retval BF_E_QTAB_FREE        the earlier chain could not be released, or the
 *                               destination's registration could not be dropped;
 *                               it stays in force
 * \par Afterwards
 * BF_Grab() with `chained` non-zero, BF_Wait() per frame, BF_Stop(), then
 * BF_BufferCleanup(); the buffers stay the caller's and must outlive the chain.
 */
int32_t QOR_CALL BF_BufferSetup(void **buffers, uint32_t width, int32_t bufferCount, int32_t slot);

/**
 * \brief Releases the chain, its QTabs and its signal.
 * \param slot the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_QTAB_FREE  a release failed; call again to finish
 * \retval BF_E_NO_CHAIN
 * \par Afterwards
 * The caller may free the chain's buffers once this returns #BF_OK.
 */
int32_t QOR_CALL BF_BufferCleanup(int32_t slot);

/**
 * \brief Waits for one end of frame, or (`wholeChain` non-zero) once per chain buffer.
 * \param timeout       the longest wait for each end of frame, in milliseconds
 * \param slot          the slot from BF_Open(), acquiring
 * \param wholeChain    non-zero to wait once for every buffer of the chain
 * \param[out] countOut from the last of those waits, the number of frames that
 *                       ended since the wait before it; more than 1 means
 *                       frames were missed
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NO_ACQUISITION  the slot's signal is not live
 * \retval BF_E_SIGNAL_WAIT
 * \retval BF_E_CHAIN_REQUIRED  `wholeChain` asked without a chain
 * \par Blocking
 * Blocks until a frame ends or `timeout` ms pass, for each of the frames
 * waited for: up to `timeout` times the chain's length with `wholeChain`.
 */
int32_t QOR_CALL BF_Wait(uint32_t timeout, int32_t slot, int32_t wholeChain, uint32_t *countOut);

/* ---- Triggers --------------------------------------------------------- */

/**
 * \brief *enable non-zero connects the external trigger, zero disconnects it.
 * \param[in] enable non-zero for triggered frames (external line, or
 *                   BF_SetSWtrigger()), zero for free-running ones
 * \param slot       the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_TRIGGER_MODE  the board refused the trigger mode, or `enable` is null
 */
int32_t QOR_CALL BF_TriggerMode(int32_t *enable, int32_t slot);

/**
 * \brief Fires software trigger 1 and/or 2.
 * \param trigger1 non-zero to fire trigger 1
 * \param trigger2 non-zero to fire trigger 2
 * \param slot     the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 */
int32_t QOR_CALL BF_SetSWtrigger(int32_t trigger1, int32_t trigger2, int32_t slot);

/* ---- Lookup tables ---------------------------------------------------- */

/**
 * \brief Loads a LUT of `kind` 0..6 (least lengths 4096, 32768, then 256)
 * used by the next BF_Setup().
 * \param kind    the table's kind, 0 to 6
 * \param entries the table: 16-bit entries for kinds 0 and 1, bytes otherwise
 * \param length  the number of entries
 * \param slot    the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_LUT_DESTINATION
 * \retval BF_E_LUT_UNSUPPORTED
 * \retval BF_E_LUT_TOO_SHORT  nothing changes: the LUT in use stays in use
 * \retval BF_E_LUT_KIND       no LUT is in use afterwards
 * \retval BF_E_LUT_WRITE
 * \par Afterwards
 * BF_Setup() acquires through the table.
 */
int32_t QOR_CALL BF_LoadLUT(int32_t kind, void *entries, int32_t length, int32_t slot);

/**
 * \brief Chooses the bit-masking LUT for the camera's bit depth.
 * \param slot the slot from BF_Open()
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_MASK_UNSUPPORTED
 * \retval BF_E_MASK_SET
 */
int32_t QOR_CALL BF_MaskBits(int32_t slot);

/* ---- Timing generator, encoder and outputs ---------------------------- */

/**
 * \brief Programs the exposure timing generator.
 * \param slot       the slot from BF_Open()
 * \param periodMs   the period, in milliseconds
 * \param exposureMs the exposure, in milliseconds
 * \param delayMs    the delay, in milliseconds
 * \param mode       the generator's mode
 * \param bitNumber  the output line, counted from 1, modulo 32
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_NTG_SETUP
 */
int32_t QOR_CALL BF_NTGSetup(int32_t slot, double periodMs, double exposureMs, double delayMs,
                             uint32_t mode, int32_t bitNumber);

/**
 * \brief Divides the pulses of encoder input `encoder` by `divider`.
 * \param slot      the slot from BF_Open()
 * \param divider   1 or more
 * \param encoder   the encoder input
 * \param bothEdges non-zero to count both edges of each pulse
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_ENCODER_DIVIDER
 */
int32_t QOR_CALL BF_NTGEncDiv(int32_t slot, uint32_t divider, uint32_t encoder, uint32_t bothEdges);

/**
 * \brief Reads the general-purpose output levels, one bit an output.
 * \param slot            the slot from BF_Open()
 * \param[out] levelsOut  the levels
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_GPOUT_GET  the board refused, or `levelsOut` is null
 */
int32_t QOR_CALL BF_GetGPOUT(int32_t slot, uint32_t *levelsOut);

/**
 * \brief Sets the outputs selected by `mask` to the bits of `levels`.
 * \param slot   the slot from BF_Open()
 * \param mask   one bit for each output to set
 * \param levels the new levels, one bit an output
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_GPOUT_SET
 */
int32_t QOR_CALL BF_SetGPOUT(int32_t slot, uint32_t mask, uint32_t levels);

/* ---- Registers -------------------------------------------------------- */

/**
 * \brief Reads register `id`.
 * \param slot           the slot from BF_Open()
 * \param id             the register's id; BF_RegNametoId() finds it by name
 * \param[out] valueOut  the register's value
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_REGISTER_UNSUPPORTED  no such register, or `valueOut` is null
 */
int32_t QOR_CALL BF_RegPeek(int32_t slot, uint32_t id, uint32_t *valueOut);

/**
 * \brief Writes register `id`.
 * \param slot  the slot from BF_Open()
 * \param id    the register's id
 * \param value the value to write
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_REGISTER_UNSUPPORTED
 * \retval BF_E_REGISTER_WRITE
 */
int32_t QOR_CALL BF_RegPoke(int32_t slot, uint32_t id, uint32_t value);

/**
 * \brief Translates between a register's id and its name.
 *
 * `idToName` non-zero: writes the name of register *idInOut into `name`
 * (capacity `size`). Zero: finds the lowest register id below 3445 whose
 * name equals `name` ignoring case, into *idInOut.
 * \param slot            the slot from BF_Open()
 * \param[in,out] idInOut the id to name, or the id found
 * \param[in,out] name    the name to find, or room for the name
 * \param size            bytes of room at `name`, with its terminating zero
 * \param idToName        non-zero to name an id, zero to find a name
 * \retval BF_OK
 * \retval BF_E_SLOT_NOT_OPEN
 * \retval BF_E_REGISTER_UNSUPPORTED  unknown id, name not found, or `idInOut` null
 * \retval BF_E_REGISTER_NAME         the name cannot be written (or `name` is null)
 * \par Blocking
 * A name search reads the names of up to 3445 registers one by one.
 */
int32_t QOR_CALL BF_RegNametoId(int32_t slot, uint32_t *idInOut, char *name, uint32_t size,
                                int32_t idToName);

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif
