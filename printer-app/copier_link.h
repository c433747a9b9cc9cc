// A job's connection to its copier, both ways. The job's printer stream is
// written to it; on a socket:// device the copier's PJL status comes back
// on the same connection (asked for before the job's data, and sent by the
// copier at each change while it prints: pjl_status.h) and goes to the
// copier watch. A copier that stops reading holds the job up: after a few
// seconds without progress the job says "waiting for the copier", with
// what the copier reports ("waiting for the copier: paper out"), and its
// progress again once the copier reads on.
//
// PAPPL 1.3.1 gives no call to read a socket device without waiting up to
// ten seconds, nor to learn whether a write would wait; its socket device
// keeps the connection's descriptor first in its data (device-network.c),
// and the link uses it, once it has checked it is a stream socket connected
// to the device's port. Any other device is written as PAPPL writes it.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "printer-app/copier_address.h"
#include "printer-app/pjl_status.h"

namespace pclspool::app {

class CopierWatch;

class CopierLink {
 public:
  CopierLink(pappl_job_t* job, pappl_device_t* device, CopierWatch& watch);
  CopierLink(const CopierLink&) = delete;
  CopierLink& operator=(const CopierLink&) = delete;

  // Before the job's data: asks for the copier's status.
  void Begin();
  // The printer stream; false when the copier fails, or when the job is
  // cancelled while the copier takes nothing.
  bool Write(const uint8_t* data, std::size_t size);
  // The job's progress, shown unless the job waits for the copier.
  void Progress(const std::string& message);
  // After the job's data: no more unsolicited status, and what the copier
  // still says read.
  void Finish();

 private:
  bool WriteAll(const uint8_t* data, std::size_t size);
  void ReadBack();
  void ShowWaiting();
  void ShowProgress();

  pappl_job_t* job_;
  pappl_device_t* device_;
  CopierWatch& watch_;
  const CopierAddress address_;
  int fd_ = -1;  // the connection, when the link reads it
  bool reading_ = true;
  PjlReplyReader replies_;
  std::mutex mutex_;  // the job's message: written from two threads
  bool waiting_ = false;
  std::string progress_;
  std::string shown_;
};

}  // namespace pclspool::app
