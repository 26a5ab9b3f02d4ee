// A handle from the session seam, closed through the seam when it goes, so
// that the fakes count every release on every path.
#pragma once

#include "launch/session_api.h"

class SeamHandle {
 public:
  SeamHandle() = default;
  explicit SeamHandle(HANDLE h) : handle_(h) {}
  ~SeamHandle() { Close(); }
  SeamHandle(const SeamHandle&) = delete;
  SeamHandle& operator=(const SeamHandle&) = delete;
  HANDLE* out() { return &handle_; }
  HANDLE get() const { return handle_; }
  void Close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) sessionapi::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};
