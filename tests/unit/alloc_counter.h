// Counts heap allocations made through operator new (every form) while a counter is armed, on
// any thread. The test binary replaces the global allocation functions (alloc_counter.cpp), so
// a test can prove a path allocation-free:
//
//   AllocCounter guard;
//   OnDataArrival(1, size, block);
//   EXPECT_EQ(guard.count(), 0);
//
// Counters nest; each one counts what happened since it was made.
#pragma once

#include <cstdint>

class AllocCounter {
 public:
  AllocCounter();
  ~AllocCounter();
  AllocCounter(const AllocCounter&) = delete;
  AllocCounter& operator=(const AllocCounter&) = delete;

  // Allocations since this counter was made (while it or another counter was armed).
  int64_t count() const;

 private:
  int64_t start_;
};
