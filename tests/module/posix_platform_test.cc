// The POSIX layer's files and printer against a real scratch directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "platform/posix/read_ahead.h"
#include "platform/posix/utf.h"
#include "host/host.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool::posix {
namespace {

class PosixFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files_.SetSystemDirectory(dir_ + "/");
  }
  std::u16string Path(const char* name) { return Utf8ToUtf16(dir_ + "/" + name); }

  const testing::ScratchDir scratch_{"files"};
  const std::string dir_ = scratch_.string();
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
  PrinterSetup setup = host::DriverPrinter();
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
  PrinterSetup setup = host::DriverPrinter();
  setup.fd = full;
  spooler.AddPrinter(printer, setup);
  DWORD written = 5;
  EXPECT_EQ(spooler.WritePrinter(printer, "abc", 3, &written), 0);
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(spooler.WriteFailed(printer));
  close(full);
}

// Page files are read back through a read-ahead block much larger than the
// reads. Whatever the file's size and the reads' sizes, the bytes must come
// back whole and in order, and the end of the file must read as 0.
TEST_F(PosixFilesTest, ReadAheadGivesBackEveryByteInOrder) {
  constexpr std::size_t kBlock = ReadAheadTable::kBlockBytes;
  const std::size_t file_sizes[] = {0, 1, 8191, 8192, kBlock - 1, kBlock, kBlock + 1,
                                    3 * kBlock + 8195};
  const std::size_t read_sizes[] = {1, 8192, kBlock - 1, kBlock, kBlock + 5};
  std::mt19937 rng(11);
  for (const std::size_t size : file_sizes) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    const std::u16string path = Path("Orv7.1");
    testing::WriteFile(Utf16ToUtf8(path), bytes);
    for (const std::size_t chunk : read_sizes) {
      if (size > kBlock && chunk == 1) continue;  // slow and says nothing more
      SCOPED_TRACE("file " + std::to_string(size) + ", reads of " + std::to_string(chunk));
      HANDLE h = files_.OpenExisting(path.c_str());
      ASSERT_NE(h, InvalidHandleValue());
      std::vector<char> buf(chunk);
      std::string back;
      DWORD n = 0;
      while (files_.ReadFile(h, buf.data(), static_cast<DWORD>(chunk), &n) && n > 0) {
        ASSERT_LE(n, chunk);
        back.append(buf.data(), n);
      }
      EXPECT_EQ(files_.ReadFile(h, buf.data(), static_cast<DWORD>(chunk), &n), 1);
      EXPECT_EQ(n, 0u) << "still the end";
      EXPECT_EQ(files_.CloseHandle(h), 1);
      EXPECT_TRUE(back == bytes) << "got " << back.size() << " bytes";
    }
    std::filesystem::remove(Utf16ToUtf8(path));
  }
}

TEST_F(PosixFilesTest, ReadAheadKeepsOpenFilesApartAndReportsReadErrors) {
  const std::string a(3 * 8192 + 7, 'a');
  const std::string b(2 * 8192 + 1, 'b');
  testing::WriteFile(dir_ + "/a", a);
  testing::WriteFile(dir_ + "/b", b);
  HANDLE ha = files_.OpenExisting(Path("a").c_str());
  HANDLE hb = files_.OpenExisting(Path("b").c_str());
  ASSERT_NE(ha, InvalidHandleValue());
  ASSERT_NE(hb, InvalidHandleValue());
  std::string got_a, got_b;
  char buf[8192];
  DWORD n = 1;
  for (bool a_done = false, b_done = false; !a_done || !b_done;) {
    if (!a_done && files_.ReadFile(ha, buf, sizeof buf, &n) && n > 0) got_a.append(buf, n);
    else a_done = true;
    if (!b_done && files_.ReadFile(hb, buf, sizeof buf, &n) && n > 0) got_b.append(buf, n);
    else b_done = true;
  }
  EXPECT_EQ(got_a, a);
  EXPECT_EQ(got_b, b);
  files_.CloseHandle(ha);
  files_.CloseHandle(hb);

  // A descriptor that cannot be read: the failure comes through, no bytes.
  ReadAheadTable table;
  const int fd = open((dir_ + "/a").c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  table.Start(fd);
  EXPECT_EQ(table.Read(fd, buf, sizeof buf), -1);
  table.Stop(fd);
  close(fd);
}

class PosixSpoolerTest : public PosixFilesTest {
 protected:
  // A printer writing into a file of the scratch directory.
  HANDLE AddFilePrinter(PosixSpooler& spooler, uintptr_t handle, std::size_t buffer_bytes) {
    const int fd = open((dir_ + "/printer" + std::to_string(handle)).c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0);
    fds_.push_back(fd);
    PrinterSetup setup = host::DriverPrinter();
    setup.fd = fd;
    setup.buffer_bytes = buffer_bytes;
    const HANDLE h = reinterpret_cast<HANDLE>(handle);
    EXPECT_TRUE(spooler.AddPrinter(h, setup));
    return h;
  }
  std::string Output(uintptr_t handle) {
    return testing::ReadFile(dir_ + "/printer" + std::to_string(handle));
  }
  void TearDown() override {
    for (int fd : fds_) close(fd);
  }
  std::vector<int> fds_;
};

// Small writes wait in the printer's block; a large one flushes what waits
// and goes straight out; the order of the bytes never changes.
TEST_F(PosixSpoolerTest, GatheredWritesKeepTheirOrder) {
  PosixSpooler spooler;
  const HANDLE p = AddFilePrinter(spooler, 1, 1024);
  DWORD n = 0;
  EXPECT_EQ(spooler.WritePrinter(p, "abc", 3, &n), 1);
  EXPECT_EQ(n, 3u) << "accepted";
  EXPECT_EQ(Output(1), "") << "gathered, not yet written";
  const std::string large(256, 'L');  // a quarter of the block
  EXPECT_EQ(spooler.WritePrinter(p, large.data(), 256, &n), 1);
  EXPECT_EQ(Output(1), "abc" + large);
  std::string expected = "abc" + large;
  for (int i = 0; i < 100; ++i) {  // 1000 bytes: the block fills and goes out
    const std::string piece(10, static_cast<char>('0' + i % 10));
    ASSERT_EQ(spooler.WritePrinter(p, piece.data(), 10, &n), 1);
    expected += piece;
  }
  EXPECT_LT(Output(1).size(), expected.size());
  EXPECT_EQ(expected.compare(0, Output(1).size(), Output(1)), 0) << "a prefix, in order";
  EXPECT_TRUE(spooler.Flush(p));
  EXPECT_EQ(Output(1), expected);
  EXPECT_EQ(spooler.WritePrinter(p, "tail", 4, &n), 1);
  spooler.RemovePrinter(p);
  EXPECT_EQ(Output(1), expected + "tail") << "removing the printer writes out what waits";
}

TEST_F(PosixSpoolerTest, AFailureWhenGatheredBytesGoOutIsReported) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) GTEST_SKIP() << "no /dev/full";
  PosixSpooler spooler;
  const HANDLE p = reinterpret_cast<HANDLE>(0x78);
  PrinterSetup setup = host::DriverPrinter();
  setup.fd = full;
  setup.buffer_bytes = 64;
  ASSERT_TRUE(spooler.AddPrinter(p, setup));
  DWORD n = 0;
  EXPECT_EQ(spooler.WritePrinter(p, "abc", 3, &n), 1) << "only gathered so far";
  EXPECT_FALSE(spooler.WriteFailed(p));
  EXPECT_FALSE(spooler.Flush(p));
  EXPECT_TRUE(spooler.WriteFailed(p));
  EXPECT_FALSE(spooler.Flush(p)) << "the failure is remembered";
  EXPECT_EQ(spooler.WritePrinter(p, std::string(40, 'x').data(), 40, &n), 0) << "straight out";
  EXPECT_EQ(n, 0u);
  spooler.RemovePrinter(p);
  close(full);
}

TEST_F(PosixSpoolerTest, PrinterTableAddsRemovesAndReusesSlots) {
  PosixSpooler spooler;
  PrinterSetup setup = host::DriverPrinter();
  setup.fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(setup.fd, 0);
  fds_.push_back(setup.fd);
  auto handle = [](std::size_t i) { return reinterpret_cast<HANDLE>(uintptr_t{0x1000} + i); };
  for (std::size_t i = 0; i < PosixSpooler::kMaxPrinters; ++i)
    ASSERT_TRUE(spooler.AddPrinter(handle(i), setup)) << i;
  EXPECT_FALSE(spooler.AddPrinter(handle(PosixSpooler::kMaxPrinters), setup)) << "table full";
  EXPECT_FALSE(spooler.AddPrinter(nullptr, setup)) << "table full";
  spooler.RemovePrinter(handle(5));
  DWORD n = 0;
  EXPECT_EQ(spooler.WritePrinter(handle(5), "a", 1, &n), 0) << "removed";
  EXPECT_TRUE(spooler.AddPrinter(nullptr, setup)) << "a null handle is a handle too";
  EXPECT_FALSE(spooler.AddPrinter(nullptr, setup)) << "already there";
  EXPECT_EQ(spooler.WritePrinter(nullptr, "a", 1, &n), 1);
  EXPECT_EQ(spooler.WritePrinter(handle(63), "a", 1, &n), 1) << "the last slot";
  spooler.RemovePrinter(handle(0));
  EXPECT_EQ(spooler.WritePrinter(handle(1), "a", 1, &n), 1) << "a hole before it";
  EXPECT_TRUE(spooler.AddPrinter(handle(0), setup));
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
