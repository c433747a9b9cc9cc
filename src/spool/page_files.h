// Page files: one hidden file per stored page of a booklet or group-sort
// job, in the system directory, named from the printer handle and the page
// number. They hold exactly the bytes routed to the page.
#pragma once

#include <cstdint>

#include "job/job_context.h"

namespace pclspool {

// MAX_PATH: a page-file path with its NUL must fit in this many characters.
inline constexpr std::size_t kMaxPath = 260;

// Builds the full path of the page file of page `page` into the module's
// path buffer and returns it. A path that does not fit in kMaxPath is never
// cut to another name: *fits is then false and the returned text (the
// directory part possibly missing) serves only for messages.
const char16_t* PageFileName(const JobContext& ctx, uint32_t page, bool* fits);

// Creates the page file of the page that is starting (page cPages) and
// keeps its handle in hPageFile; on failure the debugger hears of it, the
// page is lost and its bytes are dropped by the routing.
void Save2File(JobContext& ctx);

// Ends the stored page in progress, if any: closes its file, and deletes
// it when the page is lost (a write failed or came up short), so that the
// replays leave the page out rather than send it cut short. When the lost
// page carried the soft font, the next page downloads it again.
void ClosePageFile(JobContext& ctx);

// Sends one page file to the printer in blocks of 8192 bytes, one printer
// write per block. A file that cannot be opened sends nothing.
void Copy2Dev(JobContext& ctx, const char16_t* path);

// Sends the page file of one page; nothing when its path cannot be built.
void CopyPageToDevice(JobContext& ctx, uint32_t page);

// Deletes the page files of pages 1 to cPages.
void DeletePageFiles(JobContext& ctx);

}  // namespace pclspool
