/* measure OUT COMMAND [ARGS...]: runs COMMAND, then writes to OUT its peak
 * resident set (KiB, the ru_maxrss wait4 reports for it) and the wall time
 * from just before fork to just after wait4, in seconds. Exits with the
 * command's exit code, or 128 + the signal that ended it.
 *
 * A small program rather than the Python driver forks the tool: Linux keeps
 * the parent's high-water mark across exec, so a tool forked from Python
 * would start with Python's resident set as its peak; and timing here leaves
 * out the driver's own process start-up, which is several milliseconds. */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: measure OUT COMMAND [ARGS...]\n");
        return 2;
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid < 0) {
        perror("measure: fork");
        return 2;
    }
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        perror("measure: exec");
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0) {
        perror("measure: wait4");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
    FILE* out = fopen(argv[1], "w");
    if (out == NULL) {
        perror("measure: output file");
        return 2;
    }
    fprintf(out, "%ld %.6f\n", usage.ru_maxrss, wall);
    fclose(out);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
