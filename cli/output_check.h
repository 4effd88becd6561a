// Whether what a command printed reached its destination.
//
// A full disk, a closed pipe or /dev/full refuses a write without stopping
// the program; without this, a truncated dump would end with exit code 0.
#ifndef MENDORA_CLI_OUTPUT_CHECK_H_
#define MENDORA_CLI_OUTPUT_CHECK_H_

#include <ostream>
#include <string>

namespace mendora::cli {

class OutputCheck {
 public:
  explicit OutputCheck(std::ostream& out) : out_(out) {}

  // False once a write to the stream has failed; the system's reason at the
  // first failure is kept.
  bool Ok();
  // Flushes the stream (and C's stdout under std::cout) and says whether
  // everything written reached its destination.
  bool Finish();
  // Why the output failed: the system's text ("No space left on device").
  const std::string& reason() const { return reason_; }
  // Records a failure met elsewhere (a thread that wrote to the stream), with
  // the system's error then (0 for none); the first failure's reason stays.
  void Failed(int error);

 private:

  std::ostream& out_;
  std::string reason_;
};

}  // namespace mendora::cli

#endif  // MENDORA_CLI_OUTPUT_CHECK_H_
