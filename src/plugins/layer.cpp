// The layer base code of every plug-in of this library: its vtable, the base bodies of the
// virtual operations and the parameter helpers are emitted here once.
#include "brindlex_nav2_semanticmap/layer.hpp"

#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"

namespace semantic_map {

template class Layer<Semanticmap<MapTypeAndHeight>>;

}  // namespace semantic_map
