#include "printer-app/raster_spooling.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace pclspool::app {

namespace {

constexpr char kPwgRaster[] = "image/pwg-raster";
constexpr char kAppleRaster[] = "image/urf";
constexpr char kUntyped[] = "application/octet-stream";
constexpr std::size_t kMagicBytes = 8;

// PWG raster's sync word, and Apple raster's (with its NUL).
bool IsRasterMagic(const char (&head)[kMagicBytes]) {
  return std::memcmp(head, "RaS2PwgR", kMagicBytes) == 0 ||
         std::memcmp(head, "UNIRAST", kMagicBytes) == 0;
}

// What PAPPL would take the document for when the client names no format
// or application/octet-stream: raster by its first bytes.
bool StartsAsRaster(pappl_client_t* client) {
  char head[kMagicBytes] = {};
  return httpPeek(papplClientGetHTTP(client), head, sizeof(head)) ==
             static_cast<ssize_t>(sizeof(head)) &&
         IsRasterMagic(head);
}

}  // namespace

void MarkRasterForSpooling(pappl_client_t* client) {
  ipp_t* request = papplClientGetRequest(client);
  if (!request) return;
  const ipp_op_t op = ippGetOperation(request);
  if (op != IPP_OP_PRINT_JOB && op != IPP_OP_SEND_DOCUMENT) return;
  if (ippFindAttribute(request, "document-format-detected", IPP_TAG_ZERO)) return;
  const char* format =
      ippGetString(ippFindAttribute(request, "document-format", IPP_TAG_MIMETYPE), 0, nullptr);
  const bool raster = (format && (std::strcmp(format, kPwgRaster) == 0 ||
                                  std::strcmp(format, kAppleRaster) == 0)) ||
                      ((!format || std::strcmp(format, kUntyped) == 0) && StartsAsRaster(client));
  if (!raster) return;
  ippAddString(request, IPP_TAG_JOB, IPP_TAG_MIMETYPE, "document-format-detected", nullptr,
               kUntyped);
}

bool IsRasterFile(const char* path) {
  if (!path) return false;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[kMagicBytes] = {};
  const ssize_t n = ::read(fd, head, sizeof(head));
  ::close(fd);
  return n == static_cast<ssize_t>(sizeof(head)) && IsRasterMagic(head);
}

}  // namespace pclspool::app
