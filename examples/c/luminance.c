/* Reads the luminance of the first display, changes it, reads it back and restores it.
 *
 * Build:  cc luminance.c $(pkg-config --cflags --libs quorvex) -o luminance   (or: make)
 * Run on the simulated display:  QUORVEX_SIMULATE=1,clock=virtual ./luminance
 * Exits 0 when the display took the new value, 1 otherwise. */
#include <stdio.h>

#include <quorvex.h>

static int failed(const char *what, int rc) {
    fprintf(stderr, "luminance: %s failed with result code %d\n", what, rc);
    Disconnect();
    return 1;
}

int main(void) {
    char serials[MAX_DISPLAYS * 12];
    int16_t before = 0, after = 0, wanted;
    int rc;

    SetLog(0); /* no diagnostic lines, only those the library always prints */
    rc = Scan(serials);
    if (rc < 0) return failed("Scan", rc);
    rc = Connect(0);
    if (rc != RC_OK) return failed("Connect", rc);

    rc = GetDisplayLuminance(&before);
    if (rc != RC_OK) return failed("GetDisplayLuminance", rc);
    wanted = before == 120 ? 100 : 120; /* any value in 48..250 */
    rc = SetDisplayLuminance(wanted);
    if (rc != RC_OK) return failed("SetDisplayLuminance", rc);
    rc = GetDisplayLuminance(&after);
    if (rc != RC_OK) return failed("GetDisplayLuminance", rc);
    if (after != wanted) {
        fprintf(stderr, "luminance: set %d but the display reports %d\n", wanted, after);
        Disconnect();
        return 1;
    }
    printf("display %s: luminance %d, set to %d\n", serials, before, after);

    rc = SetDisplayLuminance(before);
    if (rc != RC_OK) return failed("SetDisplayLuminance", rc);
    printf("display %s: luminance restored to %d\n", serials, before);
    Disconnect();
    return 0;
}
