#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

// The loader reports every file on the console; keep that out of the benchmark table.
class QuietConsole {
public:
    QuietConsole()
    {
        fflush(stdout);
        fflush(stderr);
        _out = dup(1);
        _err = dup(2);
        int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 1);
        dup2(devNull, 2);
        close(devNull);
    }
    virtual ~QuietConsole()
    {
        fflush(stdout);
        fflush(stderr);
        dup2(_out, 1);
        dup2(_err, 2);
        close(_out);
        close(_err);
    }
    QuietConsole(const QuietConsole&) = delete;
    QuietConsole& operator=(const QuietConsole&) = delete;

private:
    int _out, _err;
};
