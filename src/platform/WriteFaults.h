#pragma once
// A test hook that makes this process's file writes fail as a full disk would.
//
// Every writer of output files (image and report files, movies, conversions) asks it before
// creating a file, before each write and before each flush to the disk. Without a plan it always
// allows; tests install a plan and the writers then fail exactly where a real full disk would make
// them fail. The plan is process-wide; any thread may consult it, and it is guarded by a mutex.

#include <QtGlobal>
#include <cerrno>

struct WriteFaultPlan {
    // Bytes that may still be written in all, counted from the moment the plan is set;
    // negative: no byte limit. Once used up, every further write fails.
    qint64 bytesBeforeFailure = -1;
    // The first output file (1 = the next one created) whose creation fails, and every later
    // one; 0: no file limit.
    int failingFile = 0;
    // The errno every refused call reports.
    int error = ENOSPC;
    // The first flush to the disk (1 = the next one) that fails, and every later one; 0: none.
    int failingSync = 0;
};

// Installs `plan`, replacing any previous one and restarting its counts.
void InjectWriteFaults(const WriteFaultPlan& plan);
// Removes the plan: writes succeed again.
void ClearWriteFaults();

// Writers' side. 0 when a new output file may be created; otherwise the errno to report.
int WriteFaultOnCreate();
// How many of `wanted` bytes may be written now (all of them without a plan). When fewer,
// `*error` is the errno to report once those are written.
qint64 WriteFaultAllowance(qint64 wanted, int* error);
// 0 when a file or folder may be flushed to the disk now; otherwise the errno to report.
int WriteFaultOnSync();

// Installs a plan for its lifetime (tests).
class ScopedWriteFaults {
  public:
    explicit ScopedWriteFaults(const WriteFaultPlan& plan) { InjectWriteFaults(plan); }
    ~ScopedWriteFaults() { ClearWriteFaults(); }
    ScopedWriteFaults(const ScopedWriteFaults&) = delete;
    ScopedWriteFaults& operator=(const ScopedWriteFaults&) = delete;
};
