/* Helpers for the benches, built by them with the system's C compiler.
 *
 *   bench_tool floor SOURCE BYTES DEST [sync]
 *       The I/O floor of a conversion: reads SOURCE whole (1 MiB reads) and writes BYTES bytes
 *       to DEST (1 MiB writes); with "sync", DEST is also synced to the disk before it is closed,
 *       as a destination that must survive a power cut is.
 *   bench_tool run COMMAND
 *       Runs `sh -c COMMAND` in a process group of its own and prints one line:
 *       "ELAPSED CPU MAXRSS_KIB PEAK_ANON_KIB": wall-clock seconds, user + system seconds of the
 *       whole group, the largest maximum resident size of its processes (what GNU time reports,
 *       from the same wait4 call) and the peak of the group's summed RssAnon, sampled from
 *       /proc every 5 ms. Resident size counts pages of mapped files, which are the page cache;
 *       RssAnon is the processes' own memory (heap, stacks).
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int floorRun(const char* source, long long bytes, const char* dest, int sync) {
    static char buffer[1 << 20];
    int in = open(source, O_RDONLY);
    if (in < 0) return perror(source), 1;
    for (;;) {
        ssize_t got = read(in, buffer, sizeof buffer);
        if (got < 0) return perror("read"), 1;
        if (got == 0) break;
    }
    close(in);
    int out = open(dest, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return perror(dest), 1;
    memset(buffer, 0x5a, sizeof buffer);
    while (bytes > 0) {
        size_t part = bytes < (long long)sizeof buffer ? (size_t)bytes : sizeof buffer;
        if (write(out, buffer, part) != (ssize_t)part) return perror("write"), 1;
        bytes -= (long long)part;
    }
    if (sync && fsync(out) != 0) return perror("fsync"), 1;
    return close(out) != 0;
}

/* The summed RssAnon (KiB) of the processes in group `group`. */
static long groupAnon(pid_t group) {
    long total = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    struct dirent* entry;
    while ((entry = readdir(proc))) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        char path[300], line[256];
        snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        FILE* f = fopen(path, "r");
        if (!f) continue;
        int pgrp = -1;
        if (fgets(line, sizeof line, f)) {
            const char* close = strrchr(line, ')');
            if (close) sscanf(close + 2, "%*c %*d %d", &pgrp);
        }
        fclose(f);
        if (pgrp != group) continue;
        snprintf(path, sizeof path, "/proc/%s/status", entry->d_name);
        f = fopen(path, "r");
        if (!f) continue;
        while (fgets(line, sizeof line, f)) {
            long kib;
            if (sscanf(line, "RssAnon: %ld", &kib) == 1) total += kib;
        }
        fclose(f);
    }
    closedir(proc);
    return total;
}

static int runMeasured(const char* command) {
    const double start = now();
    pid_t child = fork();
    if (child < 0) return perror("fork"), 1;
    if (child == 0) {
        setpgid(0, 0);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl("/bin/sh", "sh", "-c", command, (char*)NULL);
        _exit(127);
    }
    setpgid(child, child);
    long peak = 0;
    int status = 0;
    struct rusage usage;
    for (;;) {
        pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child) break;
        long anon = groupAnon(child);
        if (anon > peak) peak = anon;
        struct timespec pause = {0, 5000000};
        nanosleep(&pause, NULL);
    }
    const double elapsed = now() - start;
    /* The shell's own usage plus that of every child it waited for. */
    struct rusage children;
    getrusage(RUSAGE_CHILDREN, &children);
    const double cpu = children.ru_utime.tv_sec + children.ru_utime.tv_usec / 1e6 + children.ru_stime.tv_sec +
                       children.ru_stime.tv_usec / 1e6;
    printf("%.3f %.3f %ld %ld\n", elapsed, cpu, children.ru_maxrss, peak);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int main(int argc, char** argv) {
    if (argc >= 5 && strcmp(argv[1], "floor") == 0)
        return floorRun(argv[2], atoll(argv[3]), argv[4], argc > 5 && strcmp(argv[5], "sync") == 0);
    if (argc == 3 && strcmp(argv[1], "run") == 0) return runMeasured(argv[2]);
    fprintf(stderr, "usage: bench_tool floor SOURCE BYTES DEST [sync] | bench_tool run COMMAND\n");
    return 2;
}
