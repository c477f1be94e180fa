// A profile's registry seed: planning never crashes, and a plan it accepts is
// written whole into a fresh registry.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz_scratch.h"
#include "registry_seed.h"
#include "registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto seed = nlohmann::json::parse(data, data + size, nullptr, /*allow_exceptions=*/false);
  if (seed.is_discarded()) return 0;
  std::vector<ce::sim::SeedKey> plan;
  std::string error;
  if (!ce::sim::PlanSeed(seed, &plan, &error)) {
    if (error.empty()) abort();
    return 0;
  }
  if (plan.size() > 64) return 0;  // the store is exercised by small plans; big ones only cost time
  const auto db = qelfuzz::Scratch() / "r.db";
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(db.string() + suffix, ec);
  auto store = ce::sim::RegistryStore::Create(db, &error);
  if (!store) abort();
  if (!store->Seed(seed, &error)) {
    fprintf(stderr, "a planned seed was not written: %s\n", error.c_str());
    abort();
  }
  return 0;
}
