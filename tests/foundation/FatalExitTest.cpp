#include "foundation/FatalExit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "foundation/JHashtable.h"
#include "foundation/JString.h"
#include "foundation/JVector.h"
#include "foundation/ScratchText.h"

namespace {

struct FatalEnd {
    int status;
};

int handledCalls = 0;

[[noreturn]] void throwingHandler(int status) {
    handledCalls++;
    throw FatalEnd{status};
}

// Installs a handler for the test's lifetime and puts back the one it found.
class FatalExitHandlerGuard {
public:
    explicit FatalExitHandlerGuard(FatalExitHandler handler)
        : previous(setFatalExitHandler(handler)) {}
    ~FatalExitHandlerGuard() { setFatalExitHandler(previous); }

private:
    FatalExitHandler previous;
};

struct FatalCase {
    const char* name;
    std::function<void()> fail;
    const char* message;
};

const FatalCase fatalCases[] = {
    {"vector index",
     [] {
         JVector<int> v;
         v.elementAt(0);
     },
     "^Index Out Of Bounds\n$"},
    {"string charAt", [] { JString("abc").charAt(3); },
     "^Index Out Of Bounds Exception at \\[3\\] in:\nabc\n$"},
    {"string substring", [] { JString("abc").substring(1, 4); },
     "^Index Out Of Bounds Exception w/ substring\\(1,4\\]:\nabc\n$"},
    {"load factor", [] { JHashtable<int, int> table(4, 0.0f); }, "^Bad Argument for loadFactor\n$"},
    {"scratch text", [] { scratchText(0); }, "^Bad scratch text request: 0 bytes\n$"},
};

} // namespace

TEST(FatalExitTest, DefaultHandlerPrintsTheMessageAndExitsWithStatusOne) {
    for (const FatalCase& c : fatalCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(c.fail(), testing::ExitedWithCode(1), c.message);
    }
}

TEST(FatalExitTest, InstalledHandlerGetsStatusOneAfterTheMessage) {
    FatalExitHandlerGuard guard(throwingHandler);
    for (const FatalCase& c : fatalCases) {
        SCOPED_TRACE(c.name);
        int callsBefore = handledCalls;
        testing::internal::CaptureStderr();
        int status = -1;
        try {
            c.fail();
        } catch (const FatalEnd& end) {
            status = end.status;
        }
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 1);
        EXPECT_EQ(handledCalls, callsBefore + 1);
        EXPECT_FALSE(err.empty());
    }
}

TEST(FatalExitTest, InstallingAnswersThePreviousHandlerAndNullRestoresTheDefault) {
    FatalExitHandler original = setFatalExitHandler(throwingHandler);
    EXPECT_EQ(setFatalExitHandler(nullptr), throwingHandler);
    FatalExitHandler restoredDefault = setFatalExitHandler(original);
    EXPECT_NE(restoredDefault, throwingHandler);
    EXPECT_EXIT(fatalExit(3), testing::ExitedWithCode(3), "");
}
