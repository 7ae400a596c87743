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

}  // namespace semantic_map
