#include "job/settings.h"

#include <cstring>

#include "job/trace.h"
#include "platform/platform.h"

namespace pclspool {

namespace {

constexpr WORD kPrinterSpecVersion = 0x0401;
constexpr WORD kPrinterDriverVersion = 0x0400;
constexpr WORD kJobDevmodeSize = sizeof(DEVMODEW);
constexpr WORD kJobDriverExtra = sizeof(DriverExtra);

// Asks a level-2 query for its size, allocates a zero-filled block of that
// size and fills it. *block receives whatever was allocated, for the caller
// to release on every path. A size too small for the record itself counts
// as a failed query, so that no field is read beyond the block.
template <typename Info, typename Query>
bool QueryLevel2(Query query, BYTE** block) {
  const platform::Platform& p = platform::Get();
  DWORD needed = 0;
  query(nullptr, 0, &needed);
  if (needed < sizeof(Info)) return false;
  *block = static_cast<BYTE*>(p.heap->Alloc(needed));
  if (!*block) return false;
  return query(*block, needed, &needed) != kFalse;
}

// Where a [SETTING] value is stored.
enum class Target {
  kResolution,
  kOrientation,
  kPaperSize,
  kXDimension,  // lXDim in portrait, lYDim otherwise
  kYDimension,  // lYDim in portrait, lXDim otherwise
  kDefaultSource,
  kCopies,
  kExtra8,
  kExtra16,
  kExtra32,
};

struct SettingKey {
  const char16_t* key;
  int def;
  Target target;
  std::size_t offset;  // for the DriverExtra targets
};

// Read in this order: the orientation before the two dimensions that
// depend on it.
constexpr SettingKey kSettingKeys[] = {
    {u"YRESOLUTION", 600, Target::kResolution, 0},
    {u"ORIENTATION", 1, Target::kOrientation, 0},
    {u"PAPER CODE", 1, Target::kPaperSize, 0},
    {u"XDIMENSION", 0, Target::kXDimension, 0},
    {u"YDIMENSION", 0, Target::kYDimension, 0},
    {u"PAPER SOURCE", 0, Target::kDefaultSource, 0},
    {u"PAPER MEDIA", 0, Target::kExtra16, extra::kPaperMedia},
    {u"COPIES", 1, Target::kCopies, 0},
    {u"PAGE PROTECT", 0, Target::kExtra8, extra::kPageProtect},
    {u"OPTION CASSETTE", 0, Target::kExtra16, extra::kOptionCassette},
    {u"ZOOM INDEX", 0, Target::kExtra16, extra::kZoomIndex},
    {u"TWOupFOUR", 0, Target::kExtra16, extra::kNup},
    {u"TONER SAVE", 0, Target::kExtra16, extra::kTonerSave},
    {u"TTRASTER", 0, Target::kExtra8, extra::kTTRaster},
    {u"FINISHER UNIT", 0, Target::kExtra32, extra::kFinisherUnit},
    {u"GROUPSORT", 0, Target::kExtra16, extra::kGroupSort},
    {u"STAPLE", 0, Target::kExtra16, extra::kStaple},
    {u"DUPLEX UNIT", 0, Target::kExtra32, extra::kDuplexUnit},
    {u"DUPLEX", 0, Target::kExtra16, extra::kDuplex},
    {u"BOOKLET_STYLE", 0, Target::kExtra16, extra::kStyple},
};

void Store(JobContext& ctx, const SettingKey& k, UINT value) {
  const auto v16 = static_cast<int16_t>(value);
  // Orientation 1 is portrait; every other value crosses the dimensions.
  const bool portrait = ctx.dm.dmOrientation == 1;
  switch (k.target) {
    case Target::kResolution: ctx.dm.dmYResolution = v16; break;
    case Target::kOrientation: ctx.dm.dmOrientation = v16; break;
    case Target::kPaperSize: ctx.dm.dmPaperSize = v16; break;
    case Target::kXDimension: (portrait ? ctx.lXDim : ctx.lYDim) = static_cast<int32_t>(value); break;
    case Target::kYDimension: (portrait ? ctx.lYDim : ctx.lXDim) = static_cast<int32_t>(value); break;
    case Target::kDefaultSource: ctx.dm.dmDefaultSource = v16; break;
    case Target::kCopies: ctx.dm.dmCopies = v16 > kMaxCopies ? kMaxCopies : v16; break;
    case Target::kExtra8: extra::SetU8(ctx.extra, k.offset, value); break;
    case Target::kExtra16: extra::SetU16(ctx.extra, k.offset, value); break;
    case Target::kExtra32: extra::SetU32(ctx.extra, k.offset, value); break;
  }
}

}  // namespace

BOOL CaptureSettings(HANDLE printer, DWORD job_id, JobContext& ctx) {
  const platform::Platform& p = platform::Get();
  BYTE* printer_block = nullptr;
  BYTE* job_block = nullptr;
  BOOL ok = kFalse;

  if (QueryLevel2<PRINTER_INFO_2W>(
          [&](BYTE* buf, DWORD cb, DWORD* needed) {
            return p.spooler->GetPrinterW(printer, buf, cb, needed);
          },
          &printer_block)) {
    const DEVMODEW* pdm = reinterpret_cast<const PRINTER_INFO_2W*>(printer_block)->pDevMode;
    if (pdm && pdm->dmSpecVersion == kPrinterSpecVersion &&
        pdm->dmDriverVersion == kPrinterDriverVersion &&
        QueryLevel2<JOB_INFO_2W>(
            [&](BYTE* buf, DWORD cb, DWORD* needed) {
              return p.spooler->GetJobW(printer, job_id, buf, cb, needed);
            },
            &job_block)) {
      const DEVMODEW* jdm = reinterpret_cast<const JOB_INFO_2W*>(job_block)->pDevMode;
      if (jdm && jdm->dmSize == kJobDevmodeSize && jdm->dmDriverExtra == kJobDriverExtra) {
        std::memcpy(&ctx.dm, jdm, kDevmodeBlockSize);
        TraceSettings(ctx);
        ok = kTrue;
      }
    }
  }
  p.heap->Free(job_block);
  p.heap->Free(printer_block);
  return ok;
}

void OverrideSettings(JobContext& ctx) {
  platform::Profile& profile = *platform::Get().profile;
  for (const SettingKey& k : kSettingKeys) {
    Store(ctx, k, profile.GetPrivateProfileIntW(u"SETTING", k.key, k.def, kIniFile));
  }
}

void TraceSettings(const JobContext& ctx) {
  // DEVMODEW values widen with their sign, DriverExtra values without.
  Trace(u"    DPI=%d Copies:%d \n", {ctx.dm.dmYResolution, ctx.dm.dmCopies});
  Trace(u"    PaperSize=0x%x Orient=%d, [%d,%d]\n",
        {ctx.dm.dmPaperSize, ctx.dm.dmOrientation, ctx.lXDim, ctx.lYDim});
  Trace(u"    bBooklet=%d wStyple=%d\n", {IsBooklet(ctx) ? 1 : 0, Styple(ctx)});
  Trace(u"    bGroupSort=%d\n", {IsGroupSort(ctx)});
  Trace(u"    wNup=%d wZoomIndex=%d\n", {Nup(ctx), ZoomIndex(ctx)});
  Trace(u"    waterIdx=%d\n", {WaterIdx(ctx)});
}

}  // namespace pclspool
