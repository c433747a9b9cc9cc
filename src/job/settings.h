// The job's print settings: captured from the spooler's device modes at the
// start of the job, replaced from the [SETTING] section of the INI file at
// the first page, and the two predicates that decide whether pages are
// stored.
#pragma once

#include "job/job_context.h"

namespace pclspool {

// The name of the settings file, given to the profile service as it stands
// (without a directory: the profile service knows where it lives).
inline constexpr const WCHAR* kIniFile = u"OrvWater.INI";

// Copies the job's DEVMODEW and DriverExtra into the context when the
// printer's device mode is of the expected version and the job's of the
// expected size. FALSE leaves the context as it was.
BOOL CaptureSettings(HANDLE printer, DWORD job_id, JobContext& ctx);

// Overwrites the settings that the INI file's [SETTING] section names,
// with their defaults where a key or the file is missing.
void OverrideSettings(JobContext& ctx);

// Formats the six settings trace lines.
void TraceSettings(const JobContext& ctx);

// The booklet bit of the paper code makes a booklet job.
inline bool IsBooklet(const JobContext& ctx) { return (ctx.dm.dmPaperSize & kBookletBit) != 0; }

// Collated copies: a finisher, group sort asked for, and more than one copy.
inline int IsGroupSort(const JobContext& ctx) {
  return extra::U32(ctx.extra, extra::kFinisherUnit) != 0 &&
                 extra::U16(ctx.extra, extra::kGroupSort) != 0 && ctx.dm.dmCopies > 1
             ? 1
             : 0;
}

// Pages of booklet and group-sort jobs are stored in page files.
inline bool StoresPages(const JobContext& ctx) { return IsBooklet(ctx) || IsGroupSort(ctx); }

}  // namespace pclspool
