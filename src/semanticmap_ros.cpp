// The core library's instances of the server classes, so that programs linking it share one copy.
#include "brindlex_nav2_semanticmap/semanticmap_ros.hpp"

#include "util/util.hpp"

namespace semantic_map
{

template class Semanticmap<MapTypeAndHeight>;
template class Layer<Semanticmap<MapTypeAndHeight>>;
template class LayeredSemanticmap<Semanticmap<MapTypeAndHeight>>;
template class ClearSemanticmapService<Semanticmap<MapTypeAndHeight>>;
template class LoadSemanticmapService<Semanticmap<MapTypeAndHeight>>;
template class SemanticmapROS<Semanticmap<MapTypeAndHeight>>;

namespace
{
// The library exports util::ThreadPool beside the server classes. Its members are inline, so they
// are emitted (and exported) only where they are used and not inlined: call each of them once
// here, in a function compiled without inlining.
__attribute__((used, optimize("O0"))) void emitThreadPool()
{
  util::ThreadPool pool(0);
  pool.push([]() {});
}
// Taking the address keeps push() whole (not only a specialised local clone).
__attribute__((used)) bool (util::ThreadPool::* const kPush)(std::function<void()>) =
  &util::ThreadPool::push;
}  // namespace

}  // namespace semantic_map
