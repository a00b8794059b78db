/*
 * snap: opens a board, snaps one frame into a destination the library
 * allocates, writes it as a binary PGM file and cleans up.
 *
 *   snap [FILE [FAMILY [BOARD]]]     defaults: snap.pgm, family 1, board 0
 *
 * A failing call is reported with its status name and what it means, and
 * the program exits with status 1.
 */
#include <stdio.h>
#include <stdlib.h>

#include <qor_bitflow.h>

struct camera {
    uint32_t bitDepth;
    uint32_t bytesPerPixel;
    uint32_t width;
    uint32_t lines;
};

static int report(const char *call, int32_t status)
{
    fprintf(stderr, "snap: %s failed: %s (%d): %s\n", call, bf_status_name(status), (int)status,
            bf_status_text(status));
    return 1;
}

/* The low 16 bits of pixel `index`, which the board stores little-endian. */
static uint32_t pixel_value(const uint8_t *pixels, size_t index, uint32_t bytesPerPixel)
{
    const uint8_t *pixel = pixels + index * bytesPerPixel;
    return bytesPerPixel == 1 ? pixel[0] : (uint32_t)pixel[0] | (uint32_t)pixel[1] << 8;
}

/* PGM holds one byte a sample up to 8 bits, else two, most significant first. */
static int write_pgm(const char *path, const struct camera *cam, const uint8_t *pixels)
{
    if (cam->bitDepth < 1 || cam->bitDepth > 16) {
        fprintf(stderr, "snap: %u-bit pixels do not fit a PGM file\n", cam->bitDepth);
        return 1;
    }
    FILE *file = fopen(path, "wb");
    if (file == NULL) {
        perror(path);
        return 1;
    }
    const unsigned long maxval = (1ul << cam->bitDepth) - 1;
    fprintf(file, "P5\n%u %u\n%lu\n", cam->width, cam->lines, maxval);
    const size_t count = (size_t)cam->width * cam->lines;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t value = pixel_value(pixels, i, cam->bytesPerPixel);
        if (maxval > 255) fputc((int)(value >> 8), file);
        fputc((int)(value & 0xFF), file);
    }
    if (fclose(file) != 0) {
        perror(path);
        return 1;
    }
    printf("wrote %s: %u x %u, %u bits\n", path, cam->width, cam->lines, cam->bitDepth);
    return 0;
}

/* Allocate, register, snap, write; then hand back what was set up, in the
 * reverse order: the buffer (while still registered), then the registration. */
static int snap_into_file(int32_t slot, const struct camera *cam, const char *path)
{
    const uint64_t bytes = (uint64_t)cam->width * cam->bytesPerPixel * cam->lines;
    if (bytes > INT32_MAX) {
        fprintf(stderr, "snap: a frame of %llu bytes is too large\n", (unsigned long long)bytes);
        return 1;
    }
    int32_t size = (int32_t)bytes;
    void *frame = NULL;
    int32_t status = BF_AllocBuffer(&size, &frame, slot);
    if (status != BF_OK) return report("BF_AllocBuffer", status);

    status = BF_Setup(frame, cam->width, slot);
    if (status != BF_OK) {
        /* Only a registered buffer can be handed back: this one stays with
         * the process until it exits. */
        return report("BF_Setup", status);
    }
    int failed = 0;
    status = BF_GetFrame(slot);
    if (status != BF_OK)
        failed = report("BF_GetFrame", status);
    else
        failed = write_pgm(path, cam, frame);

    status = BF_FreeBuffer(slot);
    if (status != BF_OK) failed = report("BF_FreeBuffer", status);
    status = BF_Cleanup(slot);
    if (status != BF_OK) failed = report("BF_Cleanup", status);
    return failed;
}

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "snap.pgm";
    const int32_t family = argc > 2 ? (int32_t)atoi(argv[2]) : BF_FAMILY_16;
    const uint32_t board = argc > 3 ? (uint32_t)atoi(argv[3]) : 0;

    struct camera cam;
    int32_t slot = -1;
    int32_t status = BF_Open(NULL, &cam.bitDepth, &cam.bytesPerPixel, &cam.width, &cam.lines,
                             board, family, &slot);
    if (status != BF_OK) return report("BF_Open", status);
    printf("board %u of family %d in slot %d\n", board, (int)family, (int)slot);

    int failed = snap_into_file(slot, &cam, path);
    status = BF_Close(slot);
    if (status != BF_OK) failed = report("BF_Close", status);
    return failed;
}
