#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "app/QuitSignals.h"

namespace {

// Runs the body in a child process, so that the handlers and the signals stay
// out of the test runner; returns the child's wait status.
template <typename Body>
int InChild(Body body)
{
    pid_t pid = fork();
    if (pid == 0) {
        QuitSignals::Install();
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST(QuitSignalsTest, AnInterruptATerminationAHangUpOrAQuitIsNotedAndTheProcessGoesOn)
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        int status = InChild([sig] {
            if (QuitSignals::Pending() != 0)
                return 1;
            raise(sig);
            return QuitSignals::Pending() == sig ? 0 : 2;
        });
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << sig << " ended the process";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "signal " << sig;
    }
}

TEST(QuitSignalsTest, ASecondSignalWhileTheFirstIsPendingEndsTheProcess)
{
    // For a shut-down that hangs: the second Ctrl+C is not swallowed.
    int status = InChild([] {
        raise(SIGINT);
        raise(SIGINT);
        return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

}  // namespace
