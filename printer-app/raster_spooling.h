// PWG and Apple raster documents spooled like any other document.
//
// PAPPL 1.3.1 does not spool raster: it streams a raster document from the
// client's connection into the driver's raster callbacks as it arrives,
// and so takes one only while no other job is processing. A raster job
// sent while another job prints is answered server-error-busy and aborted
// (_papplJobCopyDocumentData). PAPPL decides by the job's format, which it
// takes from the request's "document-format-detected" before its
// "document-format-supplied".
//
// So a raster document is marked before PAPPL reads its request: its
// detected format becomes application/octet-stream, a format PAPPL spools
// to a file and hands to the document filter like a PDF. The filter tells
// the raster by its first bytes and prints it as raster (the job process
// reads PWG and Apple raster alike). The client still sees the format it
// sent, in document-format-supplied.
//
// The only hook PAPPL 1.3.1 calls on a Print-Job or Send-Document request
// before it looks at the format is the authorization callback
// (papplSystemSetAuthCallback), and it calls that only for TCP
// connections from the loopback address or over TLS: MarkRasterForSpooling
// belongs at its start. A raster document that comes any other way (the
// server's domain socket, plain HTTP from another host) is still streamed.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

// Marks the request's document when it is PWG or Apple raster, named so or
// told by its first bytes (application/octet-stream), on a Print-Job or
// Send-Document request; leaves any other request as it is.
void MarkRasterForSpooling(pappl_client_t* client);

// Whether the file is PWG or Apple raster, by its first bytes.
bool IsRasterFile(const char* path);

}  // namespace pclspool::app
