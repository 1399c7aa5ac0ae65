// The run log: what each run did, appended to a file an administrator or the
// user's support can read afterwards. Writing it never changes what the tool
// does: a log that cannot be written safely is skipped.
#pragma once

#include "common/wintypes.h"

// The file in the temporary folder that takes the log unless /LOG="file"
// names another; at its size bound it becomes "<file>.old".
extern const WCHAR kRunLogName[];
const DWORD kRunLogRotateBytes = 256 * 1024;
// One run writes at most this much, so a run that loops cannot fill the disk.
const DWORD kRunLogRunBytes = 256 * 1024;

// The log of this process: its file (INVALID_HANDLE_VALUE when none), how
// much this run wrote, and whether it stopped writing.
struct RunLogState {
    HANDLE file;
    DWORD bytes;
    bool full;   // the run reached its size limit
    bool failed; // a write failed: nothing more is written
};
extern RunLogState RunLog;

// A path the log may take: a full path (a drive or a share) to a file, with
// room for ".old", and no stream, wildcard or trailing dot or blank.
bool IsRunLogPath(LPCWSTR path);
// Opens the log for this run: `chosen` or, when null, the default in the
// temporary folder. The tool runs elevated and must not write into a file
// someone else chose: the file is refused when it is a link or a reparse
// point, has a second name (a hard link), or is not really in its folder
// (a link on the way), and so is a folder that is a link.
void OpenRunLog(LPCWSTR chosen);
// Appends one line, the local time in front of it; line breaks in the text
// become blanks so that each entry stays one line. The thread's last error
// is as it was.
void WriteRunLog(LPCWSTR text);
// The run's last line: written even when the run has reached its size limit.
void WriteRunLogLast(LPCWSTR text);
// Formats with the wide conventions (%ws, %d) and appends.
void NoteInRunLog(LPCWSTR format, ...);
// The end of the process closes the log; a test's process end calls this.
void CloseRunLog();
