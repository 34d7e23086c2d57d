/*
 * The loop window stand-in (tests/support/loopwin) run for a test: it is
 * started on a free queue number, and at the end it is stopped and its
 * queue removed, also when the test failed half way.
 */
#ifndef KEZ_LOOP_WINDOW_H
#define KEZ_LOOP_WINDOW_H

#include <string>
#include <vector>

#include "kez_test.h"

namespace kez_test {

class LoopWindow {
 public:
  /* Extra arguments of the stand-in: "-v", "name=value", "-silent", ... */
  explicit LoopWindow(const std::vector<std::string>& args = {});
  ~LoopWindow();
  LoopWindow(const LoopWindow&) = delete;
  LoopWindow& operator=(const LoopWindow&) = delete;

  bool running() const { return number_ > 0; }
  int number() const { return number_; }
  /* The requests it received, one "FLAG|TEXT" line each. */
  std::string log() const;
  /* Waits up to secs seconds for it to end by itself; its exit status, or
   * -1 when it is still running. */
  int wait_exit(double secs);

 private:
  TempDir dir_;
  int pid_ = -1;
  int number_ = -1;
};

/* Removes the queue of a key when one exists. */
void remove_queue(int key);

} // namespace kez_test

#endif
