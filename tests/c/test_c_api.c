/* The public header from a C11 program, linked against libquorvex.so, with the simulated bus
 * chosen through QUORVEX_SIMULATE (set by the test driver). The exported globals must be the
 * library's own: the host's writes reach the library and the library's writes reach the host. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "quorvex.h"

static int failures = 0;
#define CHECK(cond)                                                             \
    do {                                                                        \
        if (!(cond)) {                                                          \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            failures++;                                                         \
        }                                                                       \
    } while (0)

/* Runs GetSdkVersion with fd 1 captured; returns what it printed. */
static void sdk_version_output(char *printed, size_t size) {
    char version[5];
    FILE *tmp = tmpfile();
    int saved;
    size_t n;
    fflush(stdout);
    saved = dup(1);
    dup2(fileno(tmp), 1);
    GetSdkVersion(version);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    rewind(tmp);
    n = fread(printed, 1, size - 1, tmp);
    printed[n] = '\0';
    fclose(tmp);
}

int main(void) {
    char serials[MAX_DISPLAYS * 12];
    char serial[11];
    char printed[128];
    int16_t luminance = 0;

    CHECK(LogMessage == 1);
    CHECK(baudrate == 115200);
    CHECK(gu8MonitorType == 0xFF);
    CHECK(ConnectFlag == 0 && g_glimmetHandle == NULL);

    /* The host's LogMessage is the library's. */
    LogMessage = 0;
    sdk_version_output(printed, sizeof printed);
    CHECK(printed[0] == '\0');
    LogMessage = 1;
    sdk_version_output(printed, sizeof printed);
    CHECK(strcmp(printed, "USB SDK version is v1.0 \n") == 0);
    SetLog(0);
    CHECK(LogMessage == 0);

    memset(serials, 0, sizeof serials);
    CHECK(Scan(serials) == 2);
    CHECK(strcmp(serials + 12, "CAPI000002") == 0);
    CHECK(Connect(1) == RC_OK);
    CHECK(ConnectFlag == 1 && g_glimmetHandle != NULL);
    CHECK(gu8MonitorType == 1);
    CHECK(GetDisplaySerialNumber(serial) == RC_OK && strcmp(serial, "CAPI000002") == 0);
    CHECK(SetDisplayLuminance(120) == RC_OK);
    CHECK(GetDisplayLuminance(&luminance) == RC_OK && luminance == 120);
    CHECK(SetDisplayLuminance(251) == RC_INVALID_ARGUMENT);
    CHECK(Connect(3) == RC_INVALID_ARGUMENT);
    CHECK(Disconnect() == RC_OK);
    CHECK(GetDisplayLuminance(&luminance) == RC_EXCHANGE_FAILED);

    if (failures != 0) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    fprintf(stderr, "C API checks passed\n");
    return 0;
}
