// The test runner itself.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include "tests/run_ruk.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's allocation hook (its header is not installed with
// GCC's runtime).
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*on_malloc)(const volatile void*, size_t), void (*on_free)(const volatile void*));

namespace {

// fork() copies only the calling thread. A lock that another of the test's
// threads (a TFTP peer) held at that moment stays held in the child, so a
// child that allocates before it execs the program can wait for ever: a run
// killed at its limit with nothing written. The sanitizer's allocator, unlike
// the C library's, takes no care of this. The allocator's hook counts the
// allocations a forked child makes.
pid_t parent = 0;
long* child_allocations = nullptr;

void count_allocation(const volatile void*, size_t) {
  if (child_allocations != nullptr && getpid() != parent) ++*child_allocations;
}
void ignore_free(const volatile void*) {}

TEST(RunRuk, TheStartedChildAllocatesNothingBeforeItExecs) {
  void* shared = mmap(nullptr, sizeof(long), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                      -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  parent = getpid();
  child_allocations = static_cast<long*>(shared);
  *child_allocations = 0;
  // Installed for good (the runtime cannot take a hook back), idle from the
  // test's end on.
  ASSERT_NE(__sanitizer_install_malloc_and_free_hooks(count_allocation, ignore_free), 0);
  ruk_test::run_options o;
  o.env.push_back({"RUK_SIM_CLOCK", "neither"});  // ends at once, at set-up
  o.keys = "1";
  o.args = {"-h"};
  ruk_test::run_result r = ruk_test::run_ruk(o);
  long allocations = *child_allocations;
  child_allocations = nullptr;
  munmap(shared, sizeof(long));
  EXPECT_EQ(r.status, transcript_format::status::setting_error) << r.dump();
  EXPECT_EQ(allocations, 0);
}

}  // namespace
#endif
