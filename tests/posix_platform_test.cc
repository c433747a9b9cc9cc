// The POSIX layer's files and printer against a real scratch directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/posix/posix_platform.h"
#include "platform/posix/utf.h"

namespace pclspool::posix {
namespace {

class PosixFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pclspool-files-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    files_.SetSystemDirectory(dir_ + "/");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::u16string Path(const char* name) { return Utf8ToUtf16(dir_ + "/" + name); }

  std::string dir_;
  PosixFiles files_;
};

TEST_F(PosixFilesTest, SystemDirectorySizeProtocol) {
  const auto len = static_cast<UINT>(dir_.size());
  char16_t small[4];
  EXPECT_EQ(files_.GetSystemDirectoryW(small, 4), len + 1) << "too small: the size needed";
  char16_t buf[512];
  EXPECT_EQ(files_.GetSystemDirectoryW(buf, 512), len) << "trailing slash dropped";
  EXPECT_EQ(Utf16ToUtf8(buf), dir_);
}

TEST_F(PosixFilesTest, CreateNewIsExclusiveOwnerOnlyAndRefusesLinks) {
  const std::u16string page = Path("Orv1.1");
  HANDLE h = files_.CreateNewHidden(page.c_str());
  ASSERT_NE(h, InvalidHandleValue());
  EXPECT_EQ(files_.CreateNewHidden(page.c_str()), InvalidHandleValue()) << "exists already";
  DWORD n = 0;
  EXPECT_EQ(files_.WriteFile(h, "abc", 3, &n), 1);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(files_.CloseHandle(h), 1);
  struct stat st {};
  ASSERT_EQ(stat(Utf16ToUtf8(page).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // A link planted under the next page's name must not redirect the page.
  const std::string target = dir_ + "/victim";
  std::ofstream(target) << "keep";
  ASSERT_EQ(symlink(target.c_str(), (dir_ + "/Orv1.2").c_str()), 0);
  EXPECT_EQ(files_.CreateNewHidden(Path("Orv1.2").c_str()), InvalidHandleValue());
  EXPECT_EQ(files_.OpenExisting(Path("Orv1.2").c_str()), InvalidHandleValue());
  std::ifstream in(target);
  std::string kept;
  in >> kept;
  EXPECT_EQ(kept, "keep");

  HANDLE r = files_.OpenExisting(page.c_str());
  ASSERT_NE(r, InvalidHandleValue());
  char buf[8];
  EXPECT_EQ(files_.ReadFile(r, buf, sizeof buf, &n), 1);
  EXPECT_EQ(std::string(buf, n), "abc");
  EXPECT_EQ(files_.ReadFile(r, buf, sizeof buf, &n), 1);
  EXPECT_EQ(n, 0u) << "end of file";
  files_.CloseHandle(r);
  EXPECT_EQ(files_.DeleteFileW(page.c_str()), 1);
  EXPECT_EQ(files_.DeleteFileW(page.c_str()), 0);
}

TEST(PosixSpooler, DevmodesFollowTheTwoCallProtocol) {
  PosixSpooler spooler;
  const HANDLE printer = reinterpret_cast<HANDLE>(0x77);
  PrinterSetup setup;
  setup.fd = -1;
  setup.job_devmode[sizeof(DEVMODEW) + 20] = 1;  // waterIdx
  spooler.AddPrinter(printer, setup);
  DWORD needed = 0;
  EXPECT_EQ(spooler.GetJobW(printer, 1, nullptr, 0, &needed), 0);
  std::vector<BYTE> buf(needed);
  ASSERT_EQ(spooler.GetJobW(printer, 1, buf.data(), needed, &needed), 1);
  const auto* info = reinterpret_cast<const JOB_INFO_2W*>(buf.data());
  ASSERT_NE(info->pDevMode, nullptr);
  EXPECT_EQ(info->pDevMode->dmSize, 220);
  EXPECT_EQ(info->pDevMode->dmDriverExtra, 58);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(info->pDevMode)[sizeof(DEVMODEW) + 20], 1);
  ASSERT_EQ(spooler.GetPrinterW(printer, nullptr, 0, &needed), 0);
  buf.assign(needed, 0);
  ASSERT_EQ(spooler.GetPrinterW(printer, buf.data(), needed, &needed), 1);
  const auto* pinfo = reinterpret_cast<const PRINTER_INFO_2W*>(buf.data());
  EXPECT_EQ(pinfo->pDevMode->dmSpecVersion, 0x0401);
  EXPECT_EQ(pinfo->pDevMode->dmDriverVersion, 0x0400);
  EXPECT_EQ(spooler.GetPrinterW(reinterpret_cast<HANDLE>(0x78), nullptr, 0, &needed), 0)
      << "unknown printer";
}

TEST(PosixSpooler, AFailedWriteIsReportedAndRemembered) {
  PosixSpooler spooler;
  const HANDLE printer = reinterpret_cast<HANDLE>(0x77);
  const int full = open("/dev/full", O_WRONLY);
  if (full < 0) GTEST_SKIP() << "no /dev/full";
  PrinterSetup setup;
  setup.fd = full;
  spooler.AddPrinter(printer, setup);
  DWORD written = 5;
  EXPECT_EQ(spooler.WritePrinter(printer, "abc", 3, &written), 0);
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(spooler.WriteFailed(printer));
  close(full);
}

TEST(Utf, RoundTripsAndReplacesIllFormedInput) {
  const std::u16string s = u"Orv\u00e9\u4e00\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(s)), s);
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD") << "truncated sequence";
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"\uFFFD") << "overlong";
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD") << "lone surrogate";
}

}  // namespace
}  // namespace pclspool::posix
