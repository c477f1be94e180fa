// Keeps the thread sanitizer's share of the tests honest. Every thread this
// process starts passes through pthread_create below (the executable's
// definition comes first for every library, and hands on to the sanitizer's
// or the system's). A test that started one, from a source missing from the
// threaded list (tests/CMakeLists.txt), is reported and the run fails: the
// thread sanitizer would never see it.
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

// file as the compiler was given it: absolute, or relative to the build
// folder when ccache rewrote it.
bool Listed(std::string_view file) {
  std::string_view list = QEL_THREADED_SOURCES;  // ','-separated, relative to the source folder
  while (!list.empty()) {
    const size_t end = list.find(',');
    const std::string_view entry = list.substr(0, end);
    if (file.size() > entry.size() && file.ends_with(entry) && file[file.size() - entry.size() - 1] == '/')
      return true;
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
    if (unlisted_) {
      std::fflush(nullptr);
      std::_Exit(1);
    }
  }

 private:
  long before_ = 0;
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
