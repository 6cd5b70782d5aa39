// The resume record: the stage (5 to 8) at which a stopped or failed update ended, kept in
// temp/resume.data as 16 little-endian bytes so that the next start can continue there.
#pragma once

#include "platform/types.h"

struct ResumeRecord {
    DWORD dwFileVersionLS;
    DWORD dwFileVersionMS;
    // The saved stage; 0 in memory: none.
    DWORD nStatus;
    // Never assigned; a loaded value is written back unchanged.
    DWORD dwReserved;
};

extern ResumeRecord g_resume;

// Writes the launcher's version and the current status as the record; never throws.
void SaveResumeData();
// Reads the record into g_resume; TRUE only when 16 bytes were read.
BOOL LoadResumeData();
// TRUE when the record was written by this launcher version at stage 5 to 8; otherwise the
// saved stage is cleared.
BOOL CanResumeUpdate();
