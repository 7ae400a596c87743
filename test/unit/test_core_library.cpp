// libsorrelin exports the server classes and the thread pool, so that programs hosting the nodes
// themselves link one shared copy of them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CoreLibrary, ExportsServerClassesAndThreadPool)
{
  void * library = dlopen(SORRELIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const std::vector<std::string> symbols{
      // SemanticmapROS<Semanticmap<MapTypeAndHeight>>::SemanticmapROS(const std::string &)
      "_ZN12semantic_map14SemanticmapROSINS_11SemanticmapINS_16MapTypeAndHeightEEEEC1ERKNSt7__cxx11"
      "12basic_stringIcSt11char_traitsIcESaIcEEE",
      // SemanticmapROS<...>::updateMap()
      "_ZN12semantic_map14SemanticmapROSINS_11SemanticmapINS_16MapTypeAndHeightEEEE9updateMapEv",
      // LayeredSemanticmap<...>::updateMap(double, double, double)
      "_ZN12semantic_map18LayeredSemanticmapINS_11SemanticmapINS_16MapTypeAndHeightEEEE9updateMapEd"
      "dd",
      // util::ThreadPool::ThreadPool(std::size_t) and push(std::function<void()>)
      "_ZN4util10ThreadPoolC1Em",
      "_ZN4util10ThreadPool4pushESt8functionIFvvEE",
  };
  for (const auto & symbol : symbols) {
    EXPECT_NE(dlsym(library, symbol.c_str()), nullptr) << symbol;
  }
  dlclose(library);
}

}  // namespace
