// A test with a server of its own, started with one printer, "copier".
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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

  testing::ScratchDir dir_{"app"};
  AppServer server_{dir_.path()};
};

}  // namespace pclspool::apptest
