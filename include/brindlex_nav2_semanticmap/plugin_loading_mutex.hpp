#ifndef BRINDLEX_NAV2_SEMANTICMAP__PLUGIN_LOADING_MUTEX_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__PLUGIN_LOADING_MUTEX_HPP_

#include <mutex>

namespace semantic_map {

/**
 * @brief The process-wide mutex that serialises opening and closing plug-in libraries through
 * class_loader.
 *
 * class_loader asks whether another loader already has a library open before it takes its own
 * lock: two loaders opening the same library at the same moment both open it, and one of them is
 * left owning no factory for its classes. The server node holds this mutex across its whole
 * configure, so the Navigation2 layers its base loads are covered too, and while it destroys its
 * plug-in loader. Nothing that holds it waits for an executor.
 *
 * Defined in libsorrelin only, so that there is one instance per process: a program that compiles
 * the server headers itself (semanticmap_node) links libsorrelin for it.
 */
std::mutex & pluginLoadingMutex();

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__PLUGIN_LOADING_MUTEX_HPP_
