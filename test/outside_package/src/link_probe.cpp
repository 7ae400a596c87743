// Links libsorrelin, libvelnor and libtrasque of the installed brindlex_nav2_semanticmap and calls
// into each; exits with 0 when every answer is the documented one.
#include <cstdio>
#include <filesystem>

#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "brindlex_velnor/semantic_code.hpp"
#include "trasque/trasque.hpp"
#include "util/util.hpp"

int main()
{
  using Flags = semantic_map::SemanticTypeBaseEnum<semantic_map::SemanticType>;
  // Code 0 is empty space; a code missing from the table is a static obstacle.
  const bool codes = velnor::semanticTypeFromCode(0) == Flags::EMPTY &&
    velnor::semanticTypeFromCode(99999) == Flags::STATIC;

  // A map directory without a map id file has no zones.
  trasque::MapMeta meta;
  const auto zones = trasque::TrasqueFactory(
    std::filesystem::temp_directory_path() / "outside_link_probe_no_such_dir", "history.map",
    "map.yaml", "editlayout.yaml", meta);

  bool pool_ran = false;
  {
    util::ThreadPool pool(1);
    pool.push([&pool_ran]() {pool_ran = true;});
  }

  std::printf(
    "outside_link_probe: codes %s, zones %zu, thread pool %s\n", codes ? "ok" : "wrong",
    zones.size(), pool_ran ? "ran" : "idle");
  return codes && zones.empty() && pool_ran ? 0 : 1;
}
