#include "job/settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "job/pjl.h"
#include "support/fakes/fake_platform.h"
#include "support/fakes/hook_driver.h"

namespace pclspool {
namespace {

using testing::FakePlatform;
using testing::PrinterHandle;

JobContext* Start(FakePlatform&, HANDLE printer = PrinterHandle(0x40)) {
  return static_cast<JobContext*>(DrvSplStartDoc(printer, 3));
}

TEST(SettingsCapture, CopiesTheJobDevmodeAndDriverExtra) {
  FakePlatform fp;
  auto& printer = fp.AddPrinter(PrinterHandle(0x40));
  (*printer.job_devmode)[sizeof(DEVMODEW) + extra::kWaterIdx] = 2;
  (*printer.job_devmode)[sizeof(DEVMODEW) + 57] = 0xAB;  // last byte of the block
  JobContext* ctx = Start(fp);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->dwSignature, 0x44525347u);
  EXPECT_EQ(ctx->hPageFile, InvalidHandleValue());
  EXPECT_EQ(ctx->dwJobId, 3u);
  EXPECT_EQ(ctx->dwState, 1u);
  EXPECT_EQ(std::memcmp(&ctx->dm, printer.job_devmode->data(), kDevmodeBlockSize), 0);
  EXPECT_EQ(WaterIdx(*ctx), 2);
  EXPECT_EQ(fp.heap.live, 1) << "only the context stays allocated";
  DrvSplClose(ctx);
  EXPECT_EQ(fp.heap.live, 0);
}

TEST(SettingsCapture, RefusedDevmodesLeaveZeroSettings) {
  struct Case {
    const char* name;
    void (*spoil)(testing::FakePrinter&);
  } cases[] = {
      {"printer driver version 0x0500", [](auto& p) { p.printer_devmode->dmDriverVersion = 0x0500; }},
      {"printer spec version 0x0400", [](auto& p) { p.printer_devmode->dmSpecVersion = 0x0400; }},
      {"no printer devmode", [](auto& p) { p.printer_devmode.reset(); }},
      {"no job devmode", [](auto& p) { p.job_devmode.reset(); }},
      {"job dmDriverExtra 0", [](auto& p) { (*p.job_devmode)[70] = 0; }},
      {"job dmSize 156", [](auto& p) { (*p.job_devmode)[68] = 156; }},
  };
  for (const Case& c : cases) {
    FakePlatform fp;
    c.spoil(fp.AddPrinter(PrinterHandle(0x40)));
    JobContext* ctx = Start(fp);
    ASSERT_NE(ctx, nullptr) << c.name;
    const JobContext zero{};
    EXPECT_EQ(std::memcmp(&ctx->dm, &zero.dm, kDevmodeBlockSize), 0) << c.name;
    EXPECT_EQ(fp.heap.live, 1) << c.name << ": blocks released";
    EXPECT_FALSE(StoresPages(*ctx)) << c.name;
    DrvSplClose(ctx);
  }
}

TEST(SettingsCapture, NoMemory) {
  for (int allocations_left : {0, 1, 2}) {
    FakePlatform fp;
    fp.AddPrinter(PrinterHandle(0x40));
    fp.heap.fail_after = allocations_left;
    JobContext* ctx = Start(fp);
    if (allocations_left == 0) {
      EXPECT_EQ(ctx, nullptr);
      continue;
    }
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->dm.dmSize, 0) << "capture failed with " << allocations_left;
    EXPECT_EQ(fp.heap.live, 1);
    DrvSplClose(ctx);
  }
}

TEST(SettingsOverride, WithoutIniEveryKeyTakesItsDefault) {
  FakePlatform fp;
  JobContext ctx{};
  extra::SetU16(ctx.extra, extra::kWaterIdx, 5);
  extra::SetU16(ctx.extra, extra::kNup, 2);
  ctx.lXDim = 77;
  OverrideSettings(ctx);
  EXPECT_EQ(ctx.dm.dmYResolution, 600);
  EXPECT_EQ(ctx.dm.dmOrientation, 1);
  EXPECT_EQ(ctx.dm.dmPaperSize, 1);
  EXPECT_EQ(ctx.dm.dmCopies, 1);
  EXPECT_EQ(ctx.lXDim, 0);
  EXPECT_EQ(ctx.lYDim, 0);
  EXPECT_EQ(Nup(ctx), 0);
  EXPECT_EQ(WaterIdx(ctx), 5) << "waterIdx has no key and keeps the job's value";
  EXPECT_FALSE(StoresPages(ctx));
}

TEST(SettingsOverride, Rules) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> keys;
    int16_t copies;
    int32_t x, y;
    bool booklet;
    int group_sort;
  } cases[] = {
      {"copies 150 clamps to 99", {{u"COPIES", u"150"}}, 99, 0, 0, false, 0},
      {"copies 99 stays", {{u"COPIES", u"99"}}, 99, 0, 0, false, 0},
      {"copies 0 stays", {{u"COPIES", u"0"}}, 0, 0, 0, false, 0},
      {"portrait dimensions", {{u"ORIENTATION", u"1"}, {u"XDIMENSION", u"100"}, {u"YDIMENSION", u"200"}}, 1, 100, 200, false, 0},
      {"landscape crosses", {{u"ORIENTATION", u"2"}, {u"XDIMENSION", u"100"}, {u"YDIMENSION", u"200"}}, 1, 200, 100, false, 0},
      {"orientation 0 crosses too", {{u"ORIENTATION", u"0"}, {u"XDIMENSION", u"100"}}, 1, 0, 100, false, 0},
      {"paper code 1033 is a booklet", {{u"PAPER CODE", u"1033"}}, 1, 0, 0, true, 0},
      {"paper code 9 is not", {{u"PAPER CODE", u"9"}}, 1, 0, 0, false, 0},
      {"group sort needs a finisher", {{u"GROUPSORT", u"1"}, {u"COPIES", u"5"}}, 5, 0, 0, false, 0},
      {"group sort", {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}, {u"COPIES", u"2"}}, 2, 0, 0, false, 1},
      {"one copy is never group sort", {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}}, 1, 0, 0, false, 0},
      {"negative copies compare signed", {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}, {u"COPIES", u"65535"}}, -1, 0, 0, false, 0},
  };
  for (const Case& c : cases) {
    FakePlatform fp;
    for (const auto& [k, v] : c.keys) fp.profile.Set(u"SETTING", k, v);
    JobContext ctx{};
    OverrideSettings(ctx);
    EXPECT_EQ(ctx.dm.dmCopies, c.copies) << c.name;
    EXPECT_EQ(ctx.lXDim, c.x) << c.name;
    EXPECT_EQ(ctx.lYDim, c.y) << c.name;
    EXPECT_EQ(IsBooklet(ctx), c.booklet) << c.name;
    EXPECT_EQ(IsGroupSort(ctx), c.group_sort) << c.name;
  }
}

TEST(Pjl, RecognisesOnlyAtTheStartOfABuffer) {
  struct Case {
    const char* name;
    std::string bytes;
    PjlLine line;
    int32_t value;
  } cases[] = {
      {"xdim", "@PJL COMMENT XDIM=4960\r\n", PjlLine::kXDim, 4960},
      {"ydim", "@PJL COMMENT YDIM=7014\n", PjlLine::kYDim, 7014},
      {"letter after =", "@PJL COMMENT XDIM=A4\n", PjlLine::kXDim, 0},
      {"blanks and sign", "@PJL COMMENT XDIM=  -12x", PjlLine::kXDim, -12},
      {"ends with the buffer", "@PJL COMMENT YDIM=42", PjlLine::kYDim, 42},
      {"saturates high", "@PJL COMMENT XDIM=99999999999999", PjlLine::kXDim, INT32_MAX},
      {"saturates low", "@PJL COMMENT XDIM=-99999999999999", PjlLine::kXDim, INT32_MIN},
      {"int min exactly", "@PJL COMMENT XDIM=-2147483648", PjlLine::kXDim, INT32_MIN},
      {"in the middle", "x@PJL COMMENT XDIM=5\n", PjlLine::kNone, 0},
      {"lower case", "@pjl comment xdim=5\n", PjlLine::kNone, 0},
      {"shorter than the literal", "@PJL COMMENT XDIM", PjlLine::kNone, 0},
      {"enter pcl with lf", "@PJL ENTER LANGUAGE=PCL\n", PjlLine::kEnterPcl, 0},
      {"enter pcl with crlf", "@PJL ENTER LANGUAGE=PCL\r\n", PjlLine::kNone, 0},
      {"enter pcl without line end", "@PJL ENTER LANGUAGE=PCL", PjlLine::kNone, 0},
  };
  for (const Case& c : cases) {
    const PjlMatch m =
        RecognizePjl(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(m.line, c.line) << c.name;
    EXPECT_EQ(m.value, c.value) << c.name;
  }
}

}  // namespace
}  // namespace pclspool
