// Process exit codes of the command-line roads.
#ifndef TAVI_LAUNCHER_EXIT_CODES_H
#define TAVI_LAUNCHER_EXIT_CODES_H

enum ExitCode {
    EXIT_DONE = 0,          // done, nothing to do, or window closed
    EXIT_INVALID = 1,       // name or program missing or not exe/bat
    EXIT_NOT_CONFIRMED = 2, // /question not answered Yes
    EXIT_SCM_FAILED = 3,    // not created, not deleted, or not found
    EXIT_START_FAILED = 4   // created, but the start failed
};

#endif
