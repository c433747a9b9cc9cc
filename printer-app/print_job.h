// Printing a job on the copier: the job's attributes become a job ticket
// (ipp_ticket.h), and the job runs in a job process of its own
// (job_launcher.h) whose printer stream goes to the printer's device. Its
// printed sides count as the job's impressions, its messages go to the
// job's log, and a bad document gives the job its reason.
//
// Documents that PAPPL spools (PDF, PostScript, PCL, JPEG, PNG, and those
// whose type it cannot tell) come through PrintDocument. PWG and Apple
// raster arrive as a stream of lines through the raster callbacks, which
// write them out as a PWG raster file that is printed when the stream
// ends.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

// pappl_mime_filter_cb_t for every spooled format; `app` is the AppContext.
bool PrintDocument(pappl_job_t* job, pappl_device_t* device, void* app);

// The driver's print-file callback (a PCL job PAPPL would pass on as it is).
bool PrintPclFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// The driver's raster callbacks.
bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned page);
bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned y, const unsigned char* line);
bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   unsigned page);
bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace pclspool::app
