// A test with a server of its own, started with one printer, "copier", and
// the example settings file (examples/OrvWater.INI) in its state directory.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app_server.h"
#include "ipp_job.h"
#include "support/render/renderer.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool::apptest {

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PCLSPOOL_REQUIRE_APP_TOOLS();
    PCLSPOOL_REQUIRE_RENDER_TOOLS();
    std::filesystem::create_directories(server_.state_dir());
    std::filesystem::copy_file(ini_, server_.state_dir() / "OrvWater.INI");
    std::string error;
    ASSERT_TRUE(server_.Start(&error)) << error;
    ASSERT_TRUE(server_.AddPrinter("copier", {}, &error)) << error;
  }
  void TearDown() override { server_.Stop(); }

  // Submits and waits; the job's device stream is Output(name).
  IppJobResult Print(const IppJob& job, const std::string& printer = "copier") {
    return SubmitJob(server_.PrinterUri(printer), job, dir_.path());
  }
  std::filesystem::path Output(const std::string& job_name,
                               const std::string& printer = "copier") const {
    return server_.DeviceDir(printer) / (job_name + ".prn");
  }
  static std::string Read(const std::filesystem::path& p) { return testing::ReadFile(p); }
  // The password the server made at its first start, and HTTP Basic's
  // "NAME:PASSWORD" with it.
  std::string FirstPassword() const {
    const std::string line = Read(server_.state_dir() / "admin-password");
    return line.substr(0, line.find('\n'));
  }
  std::string Administrator() const { return "admin:" + FirstPassword(); }
  void CancelJob(const std::string& printer, int job_id) {
    RunIppTool(server_.PrinterUri(printer),
               IppRequest("Cancel-Job", "ATTR integer job-id " + std::to_string(job_id) + "\n"),
               dir_.path());
  }
  // Waits up to `limit` for `done`.
  template <typename F>
  static bool Eventually(F done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  const std::filesystem::path ini_ = std::filesystem::path(PCLSPOOL_EXAMPLES) / "OrvWater.INI";
  testing::ScratchDir dir_{"app"};
  AppServer server_{dir_.path()};
};

}  // namespace pclspool::apptest
