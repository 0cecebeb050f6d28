#pragma once

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// Runs a server in a child process, so that what it receives and keeps does not count in the benchmark's own
// memory. `serve` starts the server and reports its port (or -1) through the callback it is given, which
// keeps the child, and so the server, alive until it is killed. Call before any thread starts: fork() copies
// only the calling thread.
inline pid_t StartServerProcess(const std::function<void(const std::function<void(int)>& ready)>& serve, int* port)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        close(fds[0]);
        serve([&fds](int p) {
            if (write(fds[1], &p, sizeof p) != sizeof p)
                _exit(1);
            close(fds[1]);
            for (;;)
                pause();
        });
        _exit(1);
    }
    close(fds[1]);
    const bool ok = read(fds[0], port, sizeof *port) == sizeof *port && *port > 0;
    close(fds[0]);
    if (!ok) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}
