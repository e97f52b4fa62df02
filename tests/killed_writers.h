// Crash safety: a child process writes in a loop and is killed at random moments, forty times;
// after each kill the test looks at what the writes left behind.
#pragma once

#include <QRandomGenerator>
#include <QTest>
#include <csignal>
#include <functional>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// `write(i)` is the child's i-th write; `check(round)` runs in the test after each kill.
inline void killWritersAtRandom(const std::function<void(int)>& write,
                                const std::function<void(int)>& check) {
    QRandomGenerator random(2976);
    for (int round = 0; round < 40 && !QTest::currentTestFailed(); ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (int i = 0; i < 100000; ++i)
                write(i);
            ::_exit(1);
        }
        ::usleep(useconds_t(random.bounded(2000, 20000)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        check(round);
    }
}
