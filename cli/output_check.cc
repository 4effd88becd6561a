// Whether what a command printed reached its destination.
#include "cli/output_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace mendora::cli {

void OutputCheck::Failed(int error) {
  if (!reason_.empty()) return;
  reason_ = error != 0 ? std::strerror(error) : "the output stream refused a write";
}

bool OutputCheck::Ok() {
  if (!out_) Failed(errno);
  return reason_.empty();
}

bool OutputCheck::Finish() {
  if (Ok()) {
    errno = 0;
    out_.flush();
    if (!out_) Failed(errno);
  }
  // std::cout writes through C's stdout, whose buffer holds the last bytes.
  if (&out_ == &std::cout) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) Failed(errno);
  }
  return reason_.empty();
}

}  // namespace mendora::cli
