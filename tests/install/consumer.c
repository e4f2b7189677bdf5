/*
 * A tiny host built against an installed vorla: reads an invoke request (GBK
 * bytes) from the file named by argv[1], sends it through invoke and writes the
 * answer to stdout. It is built once with find_package(vorla) and once with
 * pkg-config (tests/install/check-installed.sh).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vorla/vorla.h>

#if !defined(VORLA_VERSION) || VORLA_VERSION_NUMBER < 0x010000
#error "vorla/version.h did not come with vorla/vorla.h"
#endif

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: consumer REQUEST_FILE\n");
        return 2;
    }
    FILE* f = fopen(argv[1], "rb");
    if (!f) {
        perror(argv[1]);
        return 2;
    }
    static char request[65536];
    const size_t n = fread(request, 1, sizeof request - 1, f);
    fclose(f);
    request[n] = '\0';

    static char answer[1 << 20];
    const char* request_text = request;
    char* answer_buffer = answer;
    invoke(&request_text, &answer_buffer);
    fprintf(stderr, "vorla %s (%d.%d.%d)\n", VORLA_VERSION, VORLA_VERSION_MAJOR, VORLA_VERSION_MINOR,
            VORLA_VERSION_PATCH);
    fwrite(answer, 1, strlen(answer), stdout);
    return 0;
}
