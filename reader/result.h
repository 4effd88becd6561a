// A value, or the reason there is none.
//
// For reads that either give a whole thing or fail with a line a user is
// shown: in place of a bool or an empty optional beside a std::string
// out-parameter that the caller must remember to look at.
#ifndef MENDORA_READER_RESULT_H_
#define MENDORA_READER_RESULT_H_

#include <optional>
#include <string>
#include <utility>

namespace mendora {

// The reason a Result holds no value; Fail("...") makes one.
struct Failure {
  std::string reason;
};

inline Failure Fail(std::string reason) { return Failure{std::move(reason)}; }

template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: a value converts to success
  Result(Failure failure) : reason_(std::move(failure.reason)) {}  // NOLINT: as does a failure

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  // The value; only on success.
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  // The value taken out, or nothing on failure.
  std::optional<T> Take() { return std::move(value_); }
  // Why there is no value (empty on success).
  const std::string& reason() const { return reason_; }

 private:
  std::optional<T> value_;
  std::string reason_;
};

}  // namespace mendora

#endif  // MENDORA_READER_RESULT_H_
