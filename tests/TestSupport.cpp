#include "tests/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

std::string makeScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/velk_test_XXXXXX";
    char* made = mkdtemp(&pattern[0]);
    return made ? std::string(made) : std::string("/tmp");
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

CommandResult runVelk(const std::string& dir, const std::string& arguments) {
    std::string outPath = dir + "/.stdout";
    std::string errPath = dir + "/.stderr";
    std::string command = "cd '" + dir + "' && '" + VELK_BINARY + "' " + arguments + " >'" +
                          outPath + "' 2>'" + errPath + "'";
    int raw = std::system(command.c_str());
    CommandResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readWholeFile(outPath);
    result.err = readWholeFile(errPath);
    return result;
}
