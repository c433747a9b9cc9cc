// The files a job reads: its inputs, its settings and device mode, read in
// whole blocks and refused with a one-line reason.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/posix_platform.h"

namespace pclspool::runner {

// Opens a file to read; a directory is refused here rather than at its
// first read. Returns -1 with *error set ("path: reason").
int OpenToRead(const std::string& path, std::string* error);

bool CheckReadable(const std::string& path, std::string* error);

// Reads until the buffer is full or the input ends, so that blocks do not
// depend on how a pipe delivers its bytes. Returns the count, or -1 (with
// errno EINTR when *cancel came true while it waited).
ssize_t ReadBlock(int fd, uint8_t* buf, std::size_t cap,
                  const std::atomic<bool>* cancel = nullptr);

// Reads a job's 278-byte DEVMODEW and DriverExtra.
bool LoadDevmode(const std::string& path, posix::DevmodeBlock* block, std::string* error);

}  // namespace pclspool::runner
