// How the tool was asked to run: the switches an administrator gives before
// "-u", and the exit codes that then say what happened.
#pragma once

#include "common/wintypes.h"

enum Quietness {
    QUIET_NONE = 0,
    QUIET_SILENT = 1,     // no success boxes, no questions; failures still shown
    QUIET_VERYSILENT = 2, // as silent, and no progress either
};

struct RunOptions {
    bool switched;      // any switch given: the exit code says what happened
    Quietness quiet;
    bool suppressBoxes; // with a quiet level: a box that would still show takes its default answer
    bool noRestart;     // accepted: the tool never restarts the machine
    // /LOG="file": where the run log goes instead of the temporary folder
    // (empty: there). /LOG alone keeps the default.
    WCHAR logPath[MAX_PATH];
    // The uninstaller's hand-over, not for administrators: once this process
    // (the uninstaller that ran from the folder) has ended, the folder after
    // "-u" goes to the Recycle Bin. 0: not this.
    DWORD recycleAfter;
};

extern RunOptions Options;

// The exit codes, those management systems know where one fits.
enum ExitCode {
    EXIT_OK = 0,
    EXIT_BAD_COMMAND_LINE = 87,
    EXIT_CANCELLED = 1602,
    EXIT_FAILED = 1603,
    EXIT_ANOTHER_INSTANCE = 1618,
    EXIT_RESTART_REQUIRED = 3010,
    // No supported printer is connected: the driver package is in the driver
    // store, and Windows installs the printer when it is plugged in.
    EXIT_DRIVER_STAGED = 3100,
    // Nothing of the family was installed; the driver folder goes all the same.
    EXIT_NOTHING_TO_REMOVE = 3101,
};

// Reads the switches in the first `length` characters of the command line
// into *options. FALSE when one is unknown or malformed (quotes are
// understood only around the file of /LOG=, which must be a full path: a
// drive or a share); the first such is copied into
// bad (capacity in characters, at least 1). The known ones are read all the
// same, so a silent run stays silent about the refusal.
BOOL ParseRunOptions(LPCWSTR text, size_t length, RunOptions* options, WCHAR* bad, size_t capacity);

// True when the run asks no question and shows no success.
bool RunsQuietly();
// True when a box that would still show must take its default answer instead.
bool SuppressesBoxes();
