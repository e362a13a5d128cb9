// Small helpers shared by the tests: scratch folders, whole-file reads and
// running the velk executable as a separate process.
#pragma once

#include <string>

// Saves every process-wide setting the options can change and puts the saved
// values back when it goes, so that no test leaves its settings to the next.
class GlobalSettingsGuard {
public:
    GlobalSettingsGuard();
    ~GlobalSettingsGuard();

private:
    float savedEpsilon, savedOffset, savedStep;
    bool savedFakeCaustics, savedTransparentShadows;
    int savedMinObjects, savedMaxVoxels, savedRefinements;
    std::string savedOutput;
};

struct CommandResult {
    int status;
    std::string out;
    std::string err;
};

// A fresh empty folder under the system's temporary folder, removed with its
// content when the test process ends.
std::string makeScratchDir();
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// Runs the built velk in folder dir with the given argument text (already quoted
// where needed); captures standard output, standard error and the exit status.
CommandResult runVelk(const std::string& dir, const std::string& arguments);
// As runVelk, but the run is killed after the given seconds (its status is then
// 137), so that a run which would hang fails its test instead of stalling the suite.
CommandResult runVelkWithin(const std::string& dir, const std::string& arguments, int seconds);
