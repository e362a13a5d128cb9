// The end of the process on errors the program treats as fatal ("Index Out Of
// Bounds", "Bad Argument for loadFactor", the string index messages, running
// out of memory): the caller prints its message, then calls fatalExit. The
// default handler ends the process with the status it is given; a program
// that runs the readers in-process (a fuzzing harness) installs one that
// throws instead, so such an end can be told from a crash.
#pragma once

// Must not return: it exits, throws or aborts.
typedef void (*FatalExitHandler)(int status);

// Calls the installed handler with status; should it return, the process
// exits with status all the same.
[[noreturn]] void fatalExit(int status);

// Installs handler (null puts back the default) and answers the one it replaces.
FatalExitHandler setFatalExitHandler(FatalExitHandler handler);
