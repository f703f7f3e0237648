/* The I/O floor of a batch, for the batch benches: reads each SOURCE whole and writes OUTBYTES
 * bytes for it into OUTDIR under the source's name; with "sync", the way a result is made whole
 * and durable one after the other (a temporary name, fsync, rename, the folder synced).
 *
 *   batch_floor plain|sync OUTBYTES OUTDIR SOURCE...
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
static char buffer[1 << 20];

/* floor plain|sync OUTBYTES OUTDIR SOURCE... */
int main(int argc, char** argv) {
    if (argc < 5) return 2;
    const int durable = strcmp(argv[1], "sync") == 0;
    const long long outBytes = atoll(argv[2]);
    const char* outDir = argv[3];
    for (int i = 4; i < argc; ++i) {
        int in = open(argv[i], O_RDONLY);
        if (in < 0) return 1;
        while (read(in, buffer, sizeof buffer) > 0) {}
        close(in);
        char name[4096], temporary[4096];
        const char* base = strrchr(argv[i], '/');
        snprintf(name, sizeof name, "%s/%s", outDir, base ? base + 1 : argv[i]);
        snprintf(temporary, sizeof temporary, "%s/.%s.tmp", outDir, base ? base + 1 : argv[i]);
        int out = open(durable ? temporary : name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0) return 1;
        memset(buffer, 0, sizeof buffer);
        for (long long left = outBytes; left > 0;) {
            const size_t chunk = left < (long long)sizeof buffer ? (size_t)left : sizeof buffer;
            if (write(out, buffer, chunk) != (ssize_t)chunk) return 1;
            left -= (long long)chunk;
        }
        if (durable && fsync(out) != 0) return 1;
        close(out);
        if (durable) {
            if (rename(temporary, name) != 0) return 1;
            int folder = open(outDir, O_RDONLY | O_DIRECTORY);
            if (folder >= 0) { fsync(folder); close(folder); }
        }
    }
    return 0;
}
