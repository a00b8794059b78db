/*
 * registers: finds a board register by name, reads it, writes a value and
 * reads it back.
 *
 *   registers [NAME [VALUE [FAMILY]]]     defaults: SCRATCH, 0x1234, family 1
 *
 * Names are matched ignoring case. Exits with status 1 when a call fails or
 * the value read back differs from the one written.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <qor_bitflow.h>

enum { NAME_CAPACITY = 64 };

static int report(const char *call, int32_t status)
{
    fprintf(stderr, "registers: %s failed: %s (%d): %s\n", call, bf_status_name(status),
            (int)status, bf_status_text(status));
    return 1;
}

static int peek_poke(int32_t slot, const char *name, uint32_t value)
{
    /* BF_RegNametoId takes a writable buffer, since its reverse lookup
     * writes the name into it; the search only reads it. */
    char wanted[NAME_CAPACITY];
    snprintf(wanted, sizeof wanted, "%s", name);
    uint32_t id = 0;
    int32_t status = BF_RegNametoId(slot, &id, wanted, sizeof wanted, 0);
    if (status != BF_OK) return report("BF_RegNametoId", status);

    char spelled[NAME_CAPACITY];
    status = BF_RegNametoId(slot, &id, spelled, sizeof spelled, 1);
    if (status != BF_OK) return report("BF_RegNametoId", status);
    printf("register %s has id %u\n", spelled, id);

    uint32_t before = 0;
    status = BF_RegPeek(slot, id, &before);
    if (status != BF_OK) return report("BF_RegPeek", status);
    status = BF_RegPoke(slot, id, value);
    if (status != BF_OK) return report("BF_RegPoke", status);
    uint32_t after = 0;
    status = BF_RegPeek(slot, id, &after);
    if (status != BF_OK) return report("BF_RegPeek", status);

    printf("was 0x%08X, wrote 0x%08X, read back 0x%08X\n", before, value, after);
    if (after != value) {
        fprintf(stderr, "registers: the value read back differs from the one written\n");
        return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    const char *name = argc > 1 ? argv[1] : "SCRATCH";
    const uint32_t value = argc > 2 ? (uint32_t)strtoul(argv[2], NULL, 0) : 0x1234u;
    const int32_t family = argc > 3 ? (int32_t)atoi(argv[3]) : BF_FAMILY_16;

    uint32_t bitDepth, bytesPerPixel, width, lines;
    int32_t slot = -1;
    int32_t status = BF_Open(NULL, &bitDepth, &bytesPerPixel, &width, &lines, 0, family, &slot);
    if (status != BF_OK) return report("BF_Open", status);

    int failed = peek_poke(slot, name, value);
    status = BF_Close(slot);
    if (status != BF_OK) failed = report("BF_Close", status);
    return failed;
}
