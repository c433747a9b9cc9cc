// What one job may take of the machine, whoever sent it. A limit crossed
// ends the job with exit status 2 (kExitUsage) and one line saying which;
// nothing more reaches the printer (a job whose pages are stored prints
// nothing), and no page file, process or temporary file is left.
#pragma once

#include <chrono>
#include <cstdint>

namespace pclspool::runner {

// The longest Ghostscript may go without sending page data. It sends a
// page only once it has rendered all of it, so this is the longest one page
// may take: a heavy page (a full-page photograph at 600 dpi) takes seconds,
// and two minutes leave room for a slow, busy machine, while a document in
// an endless loop holds the queue no longer. The clock restarts with every
// byte of page data, and with every byte of a document still arriving on a
// pipe: a long document that keeps making pages is never cut.
inline constexpr std::chrono::seconds kDefaultPageTimeout{120};

// The most pages one job prints (after the page selection). Far above any
// real job (a thousand-page manual), and a bound on what a job that stores
// its pages (collated copies, a booklet) keeps in the spool directory until
// its end: a rendered page at 600 dpi takes from 35 KB (a few lines) to
// 530 KB (a page full of text) there, so 100,000 pages are some 3 to 50 GB.
// The job is stopped as the next page begins: a plain job has printed the
// pages before it, a stored job prints nothing.
inline constexpr uint32_t kDefaultMaxPages = 100000;

// The largest PDF read from the standard input. Ghostscript copies such a
// PDF whole into a temporary file before it renders any of it (a PDF is
// read from its end); the limit keeps an endless or enormous stream from
// filling the disk of the temporary directory (the CUPS spool), while the
// largest real print documents (a scanned book, a few hundred MB) pass. A
// PDF named as a file is read where it is, and PostScript is rendered as it
// comes: neither is copied, neither is limited. (The runner itself holds
// the standard input a block at a time, never whole: its first kilobyte to
// tell its kind, then 1 MiB blocks of a PCL job, 256 KiB relayed.)
inline constexpr uint64_t kDefaultMaxStdinPdfBytes = uint64_t{2} << 30;  // 2 GiB

struct JobLimits {
  std::chrono::seconds page_timeout = kDefaultPageTimeout;
  uint32_t max_pages = kDefaultMaxPages;
  uint64_t max_stdin_pdf_bytes = kDefaultMaxStdinPdfBytes;
};

}  // namespace pclspool::runner
