// The inputs of a job and the job's kind: a PCL job, whose inputs are one
// stream read one after another, or a job of PDF and PostScript documents
// to render. Every input's first bytes tell its kind; those read from the
// standard input are kept, to be given first when the job reads it.
#pragma once

#include <string>
#include <vector>

#include "runner/input_kind.h"

namespace pclspool::runner {

struct JobInputs {
  // kPcl, kPdf or kPostScript: the kind of the first input with content
  // (kPcl when none has any). A job of PDF and PostScript may mix the two.
  InputKind kind = InputKind::kPcl;
  std::vector<std::string> paths;  // "-" is the standard input
  std::vector<InputKind> kinds;    // of each path
  std::string stdin_head;          // bytes read from the standard input
};

// Reads the first bytes of every input ("-", or none at all, is the
// standard input) and decides the job's kind. False with *error naming
// the input when one cannot be read, is of no kind we print, or does not
// belong in a job of this kind. In a PCL job only the first input must be
// recognisable as PCL: the others continue its stream.
bool ClassifyInputs(const std::vector<std::string>& inputs, JobInputs* out, std::string* error);

}  // namespace pclspool::runner
