#include "foundation/FatalExit.h"

#include <cstdlib>

static void exitProcess(int status) {
    std::exit(status);
}

static FatalExitHandler fatalExitHandler = exitProcess;

void fatalExit(int status) {
    fatalExitHandler(status);
    std::exit(status);
}

FatalExitHandler setFatalExitHandler(FatalExitHandler handler) {
    FatalExitHandler previous = fatalExitHandler;
    fatalExitHandler = handler ? handler : exitProcess;
    return previous;
}
