/* Reads how long the display's on-screen menu stays up, lengthens it by five seconds (or
 * shortens it at the 60-second maximum), reads it back and restores it.
 *
 * Run on the simulated display:  QUORVEX_SIMULATE=1,clock=virtual ./osd_timeout
 * Exits 0 when the display took the new value, 1 otherwise. */
#include <stdio.h>

#include <quorvex.h>

static int check(const char *what, int rc) {
    if (rc != RC_OK) fprintf(stderr, "osd_timeout: %s failed with result code %d\n", what, rc);
    return rc == RC_OK;
}

int main(void) {
    char serials[MAX_DISPLAYS * 12];
    uint8_t before = 0, after = 0, wanted;
    int found, ok;

    SetLog(0);
    found = Scan(serials);
    if (!check("Scan", found < 0 ? found : RC_OK) || !check("Connect", Connect(0))) return 1;

    ok = check("GetOSDTimeout", GetOSDTimeout(&before));
    if (ok) {
        /* 5..60 seconds in steps of 5 */
        wanted = (uint8_t)(before >= 60 ? before - 5 : before + 5);
        ok = check("SetOSDTimeout", SetOSDTimeout(wanted)) && check("GetOSDTimeout", GetOSDTimeout(&after));
        if (ok && after != wanted) {
            fprintf(stderr, "osd_timeout: set %u s but the display reports %u s\n", wanted, after);
            ok = 0;
        }
        if (ok) printf("display %s: menu timeout %u s, set to %u s\n", serials, before, after);
        if (ok) ok = check("SetOSDTimeout", SetOSDTimeout(before));
    }
    Disconnect();
    return ok ? 0 : 1;
}
