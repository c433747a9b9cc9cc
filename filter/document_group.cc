#include "filter/document_group.h"

#include <cstdio>
#include <fstream>

#include "runner/input_kind.h"

namespace pclspool::filter {

namespace {

// The most documents looked for in one job.
constexpr int kMaxDocuments = 1000;
// The bytes that tell a document's kind, and the mark of a banner file.
constexpr std::size_t kHeadBytes = 1024;
constexpr char kBannerMark[] = "#CUPS-BANNER";

std::string SpoolName(const std::string& dir, uint32_t job_id, int n) {
  char name[32];
  std::snprintf(name, sizeof(name), "/d%05u-%03d", static_cast<unsigned>(job_id), n);
  return dir + name;
}

enum class Document { kMissing, kBanner, kRendered, kOther };

Document Look(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Document::kMissing;
  std::string head(kHeadBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  if (head.rfind(kBannerMark, 0) == 0) return Document::kBanner;
  const runner::InputKind kind =
      runner::SniffInput(reinterpret_cast<const uint8_t*>(head.data()), head.size());
  return runner::IsRendered(kind) ? Document::kRendered : Document::kOther;
}

}  // namespace

DocumentGroup GroupDocuments(uint32_t job_id, const std::string& input,
                             const runner::JobTicket& ticket) {
  DocumentGroup group;
  if (!input.empty()) group.inputs.push_back(input);
  const bool collated_documents = ticket.copies > 1 && ticket.collate &&
                                  ticket.documents == runner::DocumentCopies::kCollated;
  const std::size_t slash = input.rfind('/');
  if (!collated_documents || slash == std::string::npos) return group;
  const std::string dir = input.substr(0, slash);
  // This run's own document must be one of the job's spool files.
  int own = 0;
  std::vector<std::string> documents;
  bool all_rendered = true;
  for (int n = 1; n <= kMaxDocuments; ++n) {
    const std::string path = SpoolName(dir, job_id, n);
    const Document d = Look(path);
    if (d == Document::kMissing) break;
    if (path == input) own = static_cast<int>(documents.size()) + 1;
    if (d == Document::kBanner) continue;
    all_rendered = all_rendered && d == Document::kRendered;
    documents.push_back(path);
  }
  if (own == 0 || documents.size() < 2) return group;
  if (!all_rendered || !ticket.page_ranges.empty()) {
    group.note = "The job's " + std::to_string(documents.size()) +
                 " documents print one after another, each with its " +
                 std::to_string(ticket.copies) + " copies (A A B B): " +
                 (all_rendered ? "page-ranges chooses the pages of each document"
                               : "not all of them are PDF or PostScript");
    return group;
  }
  if (input != documents.front()) {
    group.inputs.clear();
    group.note = "This document printed with the job's first, in collated copies";
    return group;
  }
  group.inputs = documents;
  group.note = "The job's " + std::to_string(documents.size()) +
               " documents print together, in collated copies (A B A B)";
  return group;
}

}  // namespace pclspool::filter
