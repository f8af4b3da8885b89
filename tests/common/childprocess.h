// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Child processes for the fault-injection tests: a step run where it may hang or be killed
// without taking the test program with it.

#include <chrono>
#include <csignal>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zelt::test {

// Starts `body` in a child process, which ends with its result as exit status.
inline pid_t Spawn(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    return child;
}

// The exit status of the child, or -1 when it had to be killed after `timeout`.
inline int Wait(pid_t child, std::chrono::seconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The text that `body` returns in a child process, or "timed out" when it has not returned
// within `timeout` (the child is killed then).
inline std::string RunGuarded(const std::function<std::string()>& body,
                              std::chrono::seconds timeout = std::chrono::seconds(10)) {
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = Spawn([&] {
        ::close(channel[0]);
        const std::string text = body();
        return ::write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size())
                   ? 0
                   : 1;
    });
    ::close(channel[1]);
    std::string text;
    pollfd ready{channel[0], POLLIN, 0};
    const int milliseconds = static_cast<int>(timeout.count() * 1000);
    char buffer[4096];
    ssize_t got = 1;
    while (got > 0 && ::poll(&ready, 1, milliseconds) == 1 &&
           (got = ::read(channel[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    return Wait(child, std::chrono::seconds(1)) == 0 ? text : "timed out";
}

} // namespace zelt::test
