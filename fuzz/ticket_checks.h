// What any job ticket a front end reads from outside must hold, whatever
// it was given: the fields within what the runner and the copier take.
#pragma once

#include <cstddef>

#include "fuzz_check.h"
#include <string>

#include "runner/job_catalogue.h"

namespace pclspool::fuzz {

inline void CheckTicketBounds(const runner::JobTicket& t, std::size_t watermarks) {
  FUZZ_CHECK(t.copies >= 1 && t.copies <= runner::MaxCopies());
  FUZZ_CHECK(t.number_up == 1 || t.number_up == 2 || t.number_up == 4);
  FUZZ_CHECK(runner::IsKnownPaper(t.paper));
  const int orientation = static_cast<int>(t.orientation);
  FUZZ_CHECK(orientation >= 3 && orientation <= 6);
  FUZZ_CHECK(t.booklet_style <= 1);
  FUZZ_CHECK(t.watermark <= watermarks);
  // What the job process gets is the same ticket.
  runner::JobTicket back;
  std::string error;
  FUZZ_CHECK(runner::ReadTicket(runner::WriteTicket(t), &back, &error));
  FUZZ_CHECK(runner::WriteTicket(back) == runner::WriteTicket(t));
}

}  // namespace pclspool::fuzz
