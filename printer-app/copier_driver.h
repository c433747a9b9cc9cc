// The copier's one driver: what a printer of it supports (papers, sides,
// resolutions, document formats, the vendor attributes), and the
// callbacks PAPPL calls to print on it (print_job.h).
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

struct AppContext;

inline constexpr char kDriverName[] = "pclspool";
inline constexpr char kDriverDescription[] = "pclspool PCL copier";
// The format the copier takes, which the driver produces.
inline constexpr char kCopierFormat[] = "application/vnd.hp-pcl";

// The driver list for papplSystemSetPrinterDrivers (one entry).
pappl_pr_driver_t* CopierDrivers();

// pappl_pr_autoadd_cb_t: the driver for a device whose IEEE 1284 device
// ID lists PCL (5) in its command set; nullptr for any other.
const char* CopierDriverFor(const char* device_info, const char* device_uri,
                            const char* device_id, void* app);

// pappl_pr_driver_cb_t; `data` is the AppContext.
bool CopierDriverCallback(pappl_system_t* system, const char* driver_name, const char* device_uri,
                          const char* device_id, pappl_pr_driver_data_t* data, ipp_t** attrs,
                          void* app);

// pappl_pr_create_cb_t: run for every printer, added or loaded from the
// state file.
void PrinterCreated(pappl_printer_t* printer, void* app);

// After the settings file's texts have changed: every printer's watermark
// values anew, its defaults kept.
void RefreshWatermarks(pappl_system_t* system, AppContext& app);

}  // namespace pclspool::app
