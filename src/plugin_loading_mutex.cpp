#include "brindlex_nav2_semanticmap/plugin_loading_mutex.hpp"

namespace semantic_map {

std::mutex & pluginLoadingMutex()
{
  static std::mutex mutex;
  return mutex;
}

}  // namespace semantic_map
