// Helpers shared by the benchmarks: keeping the readers' and renderers'
// console lines out of the benchmark's report, and finding the sources.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

// Standard output goes to /dev/null while one of these lives.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved = dup(1);
        int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 1);
        close(devNull);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved;
};

// The source tree's root: this header lives in <source>/bench.
inline std::string sourceRoot() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/..";
}
