/* A host program for the leak check: 10,000 exchanges with the simulated display through the
 * shared library, as a user's program makes them, then one upload and one download. Run under
 * valgrind memcheck, it must show no error and no byte definitely or indirectly lost.
 * QUORVEX_SIMULATE selects the display; argv[1] is a scratch directory (made if missing). */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <sys/stat.h>

#include <quorvex.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s SCRATCH_DIRECTORY\n", argv[0]);
        return 2;
    }
    mkdir(argv[1], 0777);
    char serials[MAX_DISPLAYS * 12];
    SetLog(0);
    if (Scan(serials) < 1 || Connect(0) != RC_OK) {
        fprintf(stderr, "no simulated display\n");
        return 1;
    }
    int failures = 0;
    for (int i = 0; i < 2500; ++i) { /* four exchanges per round */
        int16_t luminance = 0;
        char serial[11];
        char names[8][15];
        failures += SetDisplayLuminance((int16_t)(48 + i % 200)) != RC_OK;
        failures += GetDisplayLuminance(&luminance) != RC_OK || luminance != 48 + i % 200;
        failures += GetDisplaySerialNumber(serial) != RC_OK;
        failures += GetPresetNameList(names) != RC_OK;
    }
    char path[4096];
    snprintf(path, sizeof path, "%s/upload.bin", argv[1]);
    FILE *file = fopen(path, "wb");
    if (file == NULL) return 1;
    for (int i = 0; i < 1000; ++i) fputc(i * 7, file);
    fclose(file);
    failures += SendFileToDisplay(1, path) != RC_OK;
    failures += GetFileFromDisplay(3, argv[1]) != RC_OK;
    failures += Disconnect() != RC_OK;
    if (failures != 0) fprintf(stderr, "%d calls failed\n", failures);
    return failures != 0;
}
