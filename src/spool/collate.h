// Collated copies: the whole stored document, once per copy.
#pragma once

#include "job/job_context.h"

namespace pclspool {

// Sends page files 1 to cPages to the printer once per copy (dmCopies,
// read again before every copy), each copy closed by the UEL. The sheet
// separators are inside the page files already.
void CollateCopies(JobContext& ctx);

}  // namespace pclspool
