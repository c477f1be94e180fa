// Keeps the thread sanitizer's share of the tests honest. Every thread this
// process starts passes through pthread_create below (the executable's
// definition comes first for every library, and hands on to the sanitizer's
// or the system's). A test that started one, from a source missing from the
// threaded list (tests/CMakeLists.txt), is reported and the run fails: the
// thread sanitizer would never see it. So does a thread started outside any
// test (a static initializer, a suite's set-up, an environment) in a binary
// whose sources are not all on the list, since no source can be named for it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::atomic<long> started{0};

using CreateFn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

// A source's path relative to the project folder, from the path the compiler
// was given: absolute, or relative to the build folder when ccache rewrote it.
std::string_view ProjectPath(std::string_view file) {
  // This file's own path names the project folder the same way.
  constexpr std::string_view self = __FILE__, own = "tests/support/thread_census.cpp";
  static_assert(self.ends_with(own));
  constexpr std::string_view root = self.substr(0, self.size() - own.size());
  if (!root.empty() && file.starts_with(root)) return file.substr(root.size());
  while (file.starts_with("../")) file.remove_prefix(3);
  return file;
}

bool Listed(std::string_view file) {
  const std::string_view path = ProjectPath(file);
  std::string_view list = QEL_THREADED_SOURCES;  // ','-separated, relative to the project folder
  while (!list.empty()) {
    const size_t end = list.find(',');
    if (list.substr(0, end) == path) return true;
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

class ThreadCensus : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo&) override { before_ = started.load(); }
  void OnTestEnd(const testing::TestInfo& test) override {
    const long count = started.load() - before_;
    inTests_ += count;
    // QEL_THREAD_CENSUS=1 names every test that started threads, listed or not.
    if (count > 0 && std::getenv("QEL_THREAD_CENSUS"))
      std::fprintf(stderr, "thread census: %s.%s started %ld thread(s) [%s]\n", test.test_suite_name(),
                   test.name(), count, test.file());
    if (count == 0 || Listed(test.file())) return;
    std::fprintf(stderr,
                 "thread census: %s.%s started %ld thread(s), but %s is not in QEL_THREADED_TESTS "
                 "(tests/CMakeLists.txt), so the thread sanitizer never runs it\n",
                 test.test_suite_name(), test.name(), count, test.file());
    unlisted_ = true;
  }
  void OnTestProgramEnd(const testing::UnitTest&) override {
    const long outside = started.load() - inTests_;
    if (outside > 0 && !QEL_CENSUS_ALL_LISTED) {
      std::fprintf(stderr,
                   "thread census: %ld thread(s) started outside any test (a static initializer, a suite's "
                   "set-up or an environment); start them in the tests of a source on QEL_THREADED_TESTS\n",
                   outside);
      unlisted_ = true;
    }
    if (unlisted_) {
      std::fflush(nullptr);
      std::_Exit(1);
    }
  }

 private:
  long before_ = 0;
  long inTests_ = 0;
  bool unlisted_ = false;
};

[[maybe_unused]] const bool registered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new ThreadCensus);
  return true;
}();

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) {
  static const auto next = reinterpret_cast<CreateFn>(::dlsym(RTLD_NEXT, "pthread_create"));
  if (!next) std::abort();
  started.fetch_add(1);
  return next(thread, attr, start, arg);
}
