#include "tests/TestSupport.h"

#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "foundation/Settings.h"

GlobalSettingsGuard::GlobalSettingsGuard()
    : savedEpsilon(epsilon), savedOffset(rayMarchOffsetFactor), savedStep(rayMarchStepFactor),
      savedFakeCaustics(fakeCaustics), savedTransparentShadows(transparentShadows),
      savedMinObjects(minObjectsInGrid), savedMaxVoxels(maxGridVoxels),
      savedRefinements(rayMarchRefinements), savedOutput(outputFileName) {}

GlobalSettingsGuard::~GlobalSettingsGuard() {
    epsilon = savedEpsilon;
    rayMarchOffsetFactor = savedOffset;
    rayMarchStepFactor = savedStep;
    fakeCaustics = savedFakeCaustics;
    transparentShadows = savedTransparentShadows;
    minObjectsInGrid = savedMinObjects;
    maxGridVoxels = savedMaxVoxels;
    rayMarchRefinements = savedRefinements;
    outputFileName = savedOutput;
}

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

// Every scratch folder a test process made is removed, with what is in it,
// when the process ends.
struct ScratchFolders {
    std::vector<std::string> made;
    ~ScratchFolders() {
        for (const std::string& folder : made)
            nftw(folder.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
};

ScratchFolders& scratchFolders() {
    static ScratchFolders folders;
    return folders;
}

}  // namespace

std::string makeScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/velk_test_XXXXXX";
    char* made = mkdtemp(&pattern[0]);
    if (!made) return std::string("/tmp");
    scratchFolders().made.push_back(made);
    return std::string(made);
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

static CommandResult runVelkAfter(const std::string& prefix, const std::string& dir,
                                  const std::string& arguments) {
    std::string outPath = dir + "/.stdout";
    std::string errPath = dir + "/.stderr";
    std::string command = "cd '" + dir + "' && " + prefix + "'" + VELK_BINARY + "' " + arguments +
                          " >'" + outPath + "' 2>'" + errPath + "'";
    int raw = std::system(command.c_str());
    CommandResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readWholeFile(outPath);
    result.err = readWholeFile(errPath);
    return result;
}

CommandResult runVelk(const std::string& dir, const std::string& arguments) {
    return runVelkAfter("", dir, arguments);
}

CommandResult runVelkWithin(const std::string& dir, const std::string& arguments, int seconds) {
    return runVelkAfter("timeout -s KILL " + std::to_string(seconds) + " ", dir, arguments);
}
