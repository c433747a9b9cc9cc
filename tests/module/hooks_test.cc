// The hooks end to end on the in-memory platform: what reaches the printer,
// what lands in page files, and what the spooler is told.
#include <gtest/gtest.h>

#include "job/job_context.h"
#include "spool/booklet.h"
#include "support/fakes/fake_platform.h"
#include "support/fakes/hook_driver.h"

namespace pclspool {
namespace {

using testing::FakePlatform;
using testing::kUelBytes;
using testing::NumberedPages;
using testing::PrintJob;
using testing::PrinterHandle;

const HANDLE kPrinter = PrinterHandle(0x40);

void SetSettings(FakePlatform& fp, std::initializer_list<std::pair<const char16_t*, const char16_t*>> kv) {
  for (const auto& [k, v] : kv) fp.profile.Set(u"SETTING", k, v);
}

TEST(Hooks, PlainJobPassesBuffersOnAndEndsWithTheUel) {
  FakePlatform fp;
  fp.AddPrinter(kPrinter);
  void* job = DrvSplStartDoc(kPrinter, 1);
  std::string header = "@PJL COMMENT XDIM=4960\r\n";
  DWORD written = 12345;
  EXPECT_EQ(DrvSplWritePrinter(job, header.data(), static_cast<DWORD>(header.size()), &written), 1);
  EXPECT_EQ(written, header.size());
  EXPECT_EQ(static_cast<JobContext*>(job)->lXDim, 4960);
  DrvSplStartPage(job);
  std::string page = "\x1B" "E page one";
  DrvSplWritePrinter(job, page.data(), static_cast<DWORD>(page.size()), nullptr);
  DrvSplEndPage(job);
  const std::size_t before_end = fp.spooler.printers[kPrinter].output.size();
  DrvSplEndDoc(job);
  EXPECT_EQ(fp.spooler.printers[kPrinter].output.size() - before_end, 9u)
      << "a plain job's end adds exactly the UEL";
  DrvSplClose(job);
  EXPECT_EQ(fp.spooler.printers[kPrinter].output, header + page + kUelBytes);
  EXPECT_EQ(fp.files.deletes, 0);
  EXPECT_EQ(fp.heap.live, 0);
}

TEST(Hooks, IniOverrideAtFirstPageReplacesPjlDimensions) {
  FakePlatform fp;
  fp.AddPrinter(kPrinter);
  SetSettings(fp, {{u"XDIMENSION", u"100"}});
  auto* job = static_cast<JobContext*>(DrvSplStartDoc(kPrinter, 1));
  std::string x = "@PJL COMMENT XDIM=4960\n", y = "@PJL COMMENT YDIM=7014\n";
  DrvSplWritePrinter(job, x.data(), static_cast<DWORD>(x.size()), nullptr);
  DrvSplStartPage(job);
  EXPECT_EQ(job->lXDim, 100) << "the override comes last";
  DrvSplWritePrinter(job, y.data(), static_cast<DWORD>(y.size()), nullptr);
  EXPECT_EQ(job->lYDim, 7014) << "a comment after the override stands";
  EXPECT_EQ(job->cWrites, 2);
  DrvSplEndPage(job);
  DrvSplEndDoc(job);
  DrvSplClose(job);
}

TEST(Hooks, EnterPclRunsTheSettingsTrace) {
  FakePlatform fp;
  fp.AddPrinter(kPrinter);
  void* job = DrvSplStartDoc(kPrinter, 1);
  for (const char* line : {"@PJL ENTER LANGUAGE=PCL\r\n", "@PJL ENTER LANGUAGE=PCL\n"}) {
    fp.debug.trace.clear();
    std::string b = line;
    DrvSplWritePrinter(job, b.data(), static_cast<DWORD>(b.size()), nullptr);
    EXPECT_EQ(fp.debug.trace.size(), b[23] == '\n' ? 6u : 0u) << b;
  }
  DrvSplClose(job);
}

TEST(Hooks, SheetSeparators) {
  struct Case {
    const char* name;
    const char16_t* nup;
    int pages;
    std::string expected;
  } cases[] = {
      {"one-up", u"0", 3, "<1>\f<2>\f<3>"},
      {"two-up", u"1", 5, "<1><2>\f<3><4>\f<5>"},
      {"four-up", u"2", 9, "<1><2><3><4>\f<5><6><7><8>\f<9>"},
      {"n-up 3: no separators", u"3", 3, "<1><2><3>"},
      {"single page", u"0", 1, "<1>"},
  };
  for (const Case& c : cases) {
    FakePlatform fp;
    SetSettings(fp, {{u"TWOupFOUR", c.nup}});
    EXPECT_EQ(PrintJob(fp, kPrinter, NumberedPages(c.pages)), c.expected + kUelBytes) << c.name;
  }
}

TEST(Hooks, GroupSortCollatesCopiesFromPageFiles) {
  FakePlatform fp;
  SetSettings(fp, {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}, {u"COPIES", u"2"}});
  fp.AddPrinter(kPrinter);
  void* job = DrvSplStartDoc(kPrinter, 1);
  std::vector<std::string> stored;
  for (int p = 1; p <= 3; ++p) {
    DrvSplStartPage(job);
    std::string page = "<" + std::to_string(p) + ">";
    DrvSplWritePrinter(job, page.data(), static_cast<DWORD>(page.size()), nullptr);
    DrvSplEndPage(job);
    stored.push_back(fp.files.files[u"C:\\WINNT\\system32\\Orv40." + std::u16string(1, char16_t(u'0' + p))].bytes);
  }
  EXPECT_EQ(stored, (std::vector<std::string>{"<1>", "\f<2>", "\f<3>"}));
  EXPECT_TRUE(fp.spooler.printers[kPrinter].output.empty()) << "nothing is sent before the end";
  EXPECT_EQ(fp.files.files.begin()->second.hidden, true);
  DrvSplEndDoc(job);
  DrvSplClose(job);
  const std::string copy = "<1>\f<2>\f<3>" + kUelBytes;
  EXPECT_EQ(fp.spooler.printers[kPrinter].output, copy + copy);
  EXPECT_TRUE(fp.PageFileNames().empty());
  EXPECT_EQ(fp.files.open_handles(), 0);
}

TEST(Hooks, PageFileNamesAreLowerCaseHex) {
  FakePlatform fp;
  SetSettings(fp, {{u"PAPER CODE", u"1033"}});
  fp.AddPrinter(PrinterHandle(0x12BC));
  void* job = DrvSplStartDoc(PrinterHandle(0x12BC), 1);
  for (int p = 1; p <= 26; ++p) {
    DrvSplStartPage(job);
    DrvSplEndPage(job);
  }
  auto names = fp.PageFileNames();
  EXPECT_NE(std::find(names.begin(), names.end(), u"Orv12bc.1a"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), u"Orv12bc.10"), names.end());
  DrvSplEndDoc(job);
  DrvSplClose(job);
  EXPECT_TRUE(fp.PageFileNames().empty());
}

TEST(Hooks, BookletStreams) {
  struct Case {
    int pages;
    const char16_t* style;
    std::string expected;  // digits are page contents, F a form feed
  } cases[] = {
      {6, u"0", "1F2F36F45"}, {6, u"1", "1F2F36F54"}, {1, u"0", "1F"},       {1, u"1", "1F"},
      {8, u"0", "18F27F36F45"}, {8, u"1", "18F72F36F54"}, {3, u"0", "1F23"}, {3, u"1", "1F32"},
      {0, u"0", ""},           {0, u"1", ""},
  };
  for (const Case& c : cases) {
    FakePlatform fp;
    SetSettings(fp, {{u"PAPER CODE", u"1033"}, {u"BOOKLET_STYLE", c.style}});
    std::vector<std::string> pages;
    for (int i = 1; i <= c.pages; ++i) pages.push_back(std::to_string(i));
    std::string expected;
    for (char ch : c.expected) expected += ch == 'F' ? '\f' : ch;
    EXPECT_EQ(PrintJob(fp, kPrinter, pages), expected + kUelBytes)
        << c.pages << " pages, style " << (c.style[0] == u'0' ? 0 : 1);
    EXPECT_TRUE(fp.PageFileNames().empty());
  }
}

TEST(Hooks, BookletWithGroupSortRepeatsTheBooklet) {
  for (const char16_t* copies : {u"3", u"1"}) {
    FakePlatform fp;
    SetSettings(fp, {{u"PAPER CODE", u"1033"}, {u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"},
                     {u"COPIES", copies}});
    const std::string booklet = std::string("1F23") + kUelBytes;
    std::string expected;
    for (int i = 0; i < copies[0] - u'0'; ++i) expected += booklet;
    for (char& ch : expected) ch = ch == 'F' ? '\f' : ch;
    EXPECT_EQ(PrintJob(fp, kPrinter, {"1", "2", "3"}), expected);
    EXPECT_TRUE(fp.PageFileNames().empty());
  }
}

TEST(Hooks, BookletPagesStartWithFontClearedAndNoSeparator) {
  FakePlatform fp;
  SetSettings(fp, {{u"PAPER CODE", u"1024"}});
  fp.AddPrinter(kPrinter);
  auto* job = static_cast<JobContext*>(DrvSplStartDoc(kPrinter, 1));
  for (int p = 1; p <= 3; ++p) {
    job->bFontDownloaded = 1;
    DrvSplStartPage(job);
    EXPECT_EQ(job->bFontDownloaded, 0);
    DrvSplEndPage(job);
  }
  for (const auto& [path, f] : fp.files.files) EXPECT_EQ(f.bytes, "") << "no separator stored";
  EXPECT_EQ(job->cCount, 0);
  DrvSplEndDoc(job);
  DrvSplClose(job);
}

TEST(Hooks, FailedPageFileIsMissingFromEveryCopy) {
  FakePlatform fp;
  SetSettings(fp, {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}, {u"COPIES", u"2"}});
  fp.files.fail_create.push_back(u"C:\\WINNT\\system32\\Orv40.2");
  const std::string out = PrintJob(fp, kPrinter, NumberedPages(3));
  const std::string copy = "<1>\f<3>" + kUelBytes;
  EXPECT_EQ(out, copy + copy);
  ASSERT_EQ(fp.debug.debugger.size(), 1u);
  EXPECT_EQ(fp.debug.debugger[0], u"OrvUmpd:     Fail to Open :C:\\WINNT\\system32\\Orv40.2 \n");
}

TEST(Hooks, BytesBeforeTheFirstPageOfAStoredJobAreDropped) {
  FakePlatform fp;
  auto& printer = fp.AddPrinter(kPrinter);
  (*printer.job_devmode)[78 + 1] = 0x04;  // dmPaperSize 0x0409: a booklet from the start
  SetSettings(fp, {{u"PAPER CODE", u"1033"}});
  void* job = DrvSplStartDoc(kPrinter, 1);
  std::string early = "dropped";
  DWORD written = 0;
  EXPECT_EQ(DrvSplWritePrinter(job, early.data(), 7, &written), 1) << "dropping is no failure";
  EXPECT_EQ(written, 7u);
  DrvSplStartPage(job);
  std::string page = "1";
  DrvSplWritePrinter(job, page.data(), 1, nullptr);
  DrvSplEndPage(job);
  DrvSplWritePrinter(job, early.data(), 7, nullptr);  // between pages: dropped too
  DrvSplEndDoc(job);
  DrvSplClose(job);
  EXPECT_EQ(printer.output, "1\f" + kUelBytes);
}

TEST(Hooks, EmptyPageStoresAnEmptyFile) {
  FakePlatform fp;
  SetSettings(fp, {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}, {u"COPIES", u"2"}});
  fp.AddPrinter(kPrinter);
  void* job = DrvSplStartDoc(kPrinter, 1);
  DrvSplStartPage(job);
  DrvSplEndPage(job);
  EXPECT_EQ(fp.files.files.at(u"C:\\WINNT\\system32\\Orv40.1").bytes, "");
  DrvSplEndDoc(job);
  DrvSplClose(job);
  EXPECT_EQ(fp.spooler.printers[kPrinter].output, kUelBytes + kUelBytes);
}

TEST(Hooks, WriteFailuresReachTheSpooler) {
  FakePlatform fp;
  fp.AddPrinter(kPrinter).fail_writes = true;
  void* job = DrvSplStartDoc(kPrinter, 1);
  DrvSplStartPage(job);
  std::string page = "x";
  DWORD written = 99;
  EXPECT_EQ(DrvSplWritePrinter(job, page.data(), 1, &written), 0);
  EXPECT_EQ(written, 0u);
  DrvSplEndPage(job);
  DrvSplEndDoc(job);
  DrvSplClose(job);
}

TEST(Hooks, AbortThenEndDocStillReplaysAndDeletes) {
  FakePlatform fp;
  SetSettings(fp, {{u"PAPER CODE", u"1033"}});
  fp.AddPrinter(kPrinter);
  auto* job = static_cast<JobContext*>(DrvSplStartDoc(kPrinter, 1));
  DrvSplStartPage(job);
  std::string page = "1";
  DrvSplWritePrinter(job, page.data(), 1, nullptr);
  DrvSplEndPage(job);
  DrvSplAbort(job);
  EXPECT_EQ(job->dwState, 1u | 4u);
  DrvSplEndDoc(job);
  EXPECT_EQ(job->dwState, 1u | 2u | 4u);
  DrvSplClose(job);
  EXPECT_EQ(fp.spooler.printers[kPrinter].output, "1\f" + kUelBytes);
  EXPECT_TRUE(fp.PageFileNames().empty());
}

TEST(Hooks, CloseAfterAbortMidPageClosesThePageFileButKeepsIt) {
  FakePlatform fp;
  SetSettings(fp, {{u"PAPER CODE", u"1033"}});
  fp.AddPrinter(kPrinter);
  void* job = DrvSplStartDoc(kPrinter, 1);
  DrvSplStartPage(job);
  DrvSplAbort(job);
  DrvSplClose(job);
  EXPECT_EQ(fp.files.open_handles(), 0);
  EXPECT_EQ(fp.PageFileNames().size(), 1u);
  EXPECT_EQ(fp.heap.live, 0);
}

TEST(Hooks, LeftoverPageFileOfAnEarlierJobIsReplaced) {
  FakePlatform fp;
  SetSettings(fp, {{u"PAPER CODE", u"1033"}});
  fp.files.files[u"C:\\WINNT\\system32\\Orv40.1"] = {"stale", true};
  EXPECT_EQ(PrintJob(fp, kPrinter, {"new"}), "new\f" + kUelBytes);
}

TEST(Hooks, TooLongSystemDirectoryFailsCreationWithoutCuttingTheName) {
  FakePlatform fp;
  SetSettings(fp, {{u"PAPER CODE", u"1033"}});
  fp.files.system_directory = u"C:\\" + std::u16string(250, u'd');  // 253 + "\Orv40.1" > 259
  EXPECT_EQ(PrintJob(fp, kPrinter, {"1"}), "\f" + kUelBytes);
  ASSERT_EQ(fp.debug.debugger.size(), 1u);
  EXPECT_TRUE(fp.files.files.empty());
}

TEST(Hooks, CopyStopsAtAFailedRead) {
  FakePlatform fp;
  SetSettings(fp, {{u"PAPER CODE", u"1033"}});
  fp.files.fail_read_after = 0;
  EXPECT_EQ(PrintJob(fp, kPrinter, {"1", "2"}), "\f" + kUelBytes);
  EXPECT_TRUE(fp.PageFileNames().empty());
}

TEST(Hooks, BookletSurvivesNoMemoryForItsTable) {
  FakePlatform fp;
  SetSettings(fp, {{u"PAPER CODE", u"1033"}});
  fp.AddPrinter(kPrinter);
  void* job = DrvSplStartDoc(kPrinter, 1);
  for (const char* p : {"1", "2", "3", "4", "5"}) {
    DrvSplStartPage(job);
    std::string b = p;
    DrvSplWritePrinter(job, b.data(), 1, nullptr);
    DrvSplEndPage(job);
  }
  fp.heap.fail_after = 0;
  DrvSplEndDoc(job);
  fp.heap.fail_after = -1;
  DrvSplClose(job);
  EXPECT_EQ(fp.spooler.printers[kPrinter].output, "1\f2\f3\f45" + kUelBytes);
}

TEST(Hooks, SeventyThousandPageGroupSortJobEndsAndCleansUp) {
  FakePlatform fp;
  SetSettings(fp, {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}, {u"COPIES", u"2"}});
  fp.AddPrinter(kPrinter);
  void* job = DrvSplStartDoc(kPrinter, 1);
  for (int p = 0; p < 70000; ++p) {
    DrvSplStartPage(job);
    DrvSplEndPage(job);
  }
  EXPECT_EQ(fp.files.files.size(), 70000u);
  DrvSplEndDoc(job);
  DrvSplClose(job);
  EXPECT_TRUE(fp.files.files.empty());
  // Each copy: 69,999 separators, then the UEL.
  EXPECT_EQ(fp.spooler.printers[kPrinter].output.size(), 2 * (69999u + 9u));
}

TEST(Hooks, NullContextIsHarmless) {
  FakePlatform fp;
  char b = 'x';
  EXPECT_EQ(DrvSplWritePrinter(nullptr, &b, 1, nullptr), 0);
  EXPECT_EQ(DrvSplStartPage(nullptr), 1);
  EXPECT_EQ(DrvSplEndPage(nullptr), 1);
  DrvSplEndDoc(nullptr);
  DrvSplAbort(nullptr);
  DrvSplClose(nullptr);
}

}  // namespace
}  // namespace pclspool

extern "C" pclspool::BOOL DllMain(void* module, pclspool::DWORD reason, void* reserved);

namespace pclspool {
namespace {

TEST(DllMain, TrueForEveryReasonAndSwitchesOffThreadCalls) {
  testing::FakePlatform fp;
  for (DWORD reason : {DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH})
    EXPECT_EQ(DllMain(reinterpret_cast<void*>(0x1000), reason, nullptr), 1) << reason;
  EXPECT_EQ(fp.module.disabled, std::vector<HANDLE>{reinterpret_cast<HANDLE>(0x1000)});
}

}  // namespace
}  // namespace pclspool

namespace pclspool {
namespace {

TEST(Booklet, ReorderPutsPageCountAndPaperCodeBack) {
  testing::FakePlatform fp;
  fp.AddPrinter(kPrinter);
  JobContext ctx{};
  ctx.hPrinter = kPrinter;
  ctx.hPageFile = InvalidHandleValue();
  ctx.cPages = 7;
  ctx.dm.dmPaperSize = static_cast<int16_t>(0x8409);
  ReorderBooklet(ctx);
  EXPECT_EQ(ctx.cPages, 7u);
  EXPECT_EQ(static_cast<uint16_t>(ctx.dm.dmPaperSize), 0x8409);
  EXPECT_EQ(fp.heap.live, 0) << "the table is freed";
}

TEST(Booklet, EveryPageAppearsOnceForAnyPageCount) {
  for (uint32_t n = 0; n <= 41; ++n) {
    for (uint16_t style : {0, 1}) {
      std::vector<int> seen(n + 1, 0);
      std::vector<PageOrder> table(SheetCount(n));
      FillPageOrder(table.data(), n, style);
      for (const PageOrder& e : table)
        for (int32_t p : {e.P[0], e.P[1], e.N[0], e.N[1]})
          if (p) ++seen[static_cast<std::size_t>(p)];
      for (uint32_t p = 1; p <= n; ++p) EXPECT_EQ(seen[p], 1) << n << " pages, page " << p;
    }
  }
}

}  // namespace
}  // namespace pclspool
