#include "brindlex_velnor/observation.hpp"

namespace velnor {
namespace {

// The scan keeps the first extreme it meets and replaces it only by a strictly smaller (larger)
// value; z plays no part.
template <typename UnitT>
void computeEdge(UnitT & unit)
{
  const Eigen::Index n = unit.points.cols();
  if (n == 0) {
    unit.min_x = unit.min_y = unit.max_x = unit.max_y = 0.0f;
    return;
  }
  float min_x = unit.points(0, 0);
  float max_x = min_x;
  float min_y = unit.points(1, 0);
  float max_y = min_y;
  for (Eigen::Index k = 1; k < n; ++k) {
    const float x = unit.points(0, k);
    const float y = unit.points(1, k);
    if (x < min_x) {
      min_x = x;
    }
    if (x > max_x) {
      max_x = x;
    }
    if (y < min_y) {
      min_y = y;
    }
    if (y > max_y) {
      max_y = y;
    }
  }
  unit.min_x = min_x;
  unit.min_y = min_y;
  unit.max_x = max_x;
  unit.max_y = max_y;
}

}  // namespace

ObservationUnit::ObservationUnit()
    : points(3, 0),
      type(semantic_map::SemanticFlags::EMPTY),
      flag(false),
      min_x(0.0f),
      min_y(0.0f),
      max_x(0.0f),
      max_y(0.0f)
{
}

ObservationUnit::ObservationUnit(const ObservationUnit & other) = default;
ObservationUnit & ObservationUnit::operator=(const ObservationUnit & other) = default;
ObservationUnit::~ObservationUnit() = default;

void ObservationUnit::updateEdge() { computeEdge(*this); }

Observation::Observation() : stamp(), frame(), units(), source(0) {}

Observation::Observation(const Observation & other) = default;
Observation & Observation::operator=(const Observation & other) = default;
Observation::~Observation() = default;

DataUnit::DataUnit()
    : points(3, 0),
      types(1, semantic_map::SemanticFlags::EMPTY),
      flag(false),
      min_x(0.0f),
      min_y(0.0f),
      max_x(0.0f),
      max_y(0.0f)
{
}

DataUnit::DataUnit(const ObservationUnit & unit)
    : points(unit.points),
      types(static_cast<size_t>(unit.points.cols()), unit.type),
      flag(unit.flag),
      min_x(unit.min_x),
      min_y(unit.min_y),
      max_x(unit.max_x),
      max_y(unit.max_y)
{
}

DataUnit::DataUnit(const DataUnit & other) = default;
DataUnit & DataUnit::operator=(const DataUnit & other) = default;
DataUnit::~DataUnit() = default;

void DataUnit::updateEdge() { computeEdge(*this); }

CacheUnit::CacheUnit() : DataUnit(), stamp(0.0), source(0) {}

CacheUnit::CacheUnit(const DataUnit & unit) : DataUnit(unit), stamp(0.0), source(0) {}

CacheUnit::CacheUnit(const CacheUnit & other) = default;
CacheUnit & CacheUnit::operator=(const CacheUnit & other) = default;
CacheUnit::~CacheUnit() = default;

MapChangeUnit::MapChangeUnit() : DataUnit(), operate(CLEAR) {}

MapChangeUnit::MapChangeUnit(const CacheUnit & unit, Operate operation)
    : DataUnit(static_cast<const DataUnit &>(unit)), operate(operation)
{
}

MapChangeUnit::MapChangeUnit(const DataUnit & unit, Operate operation)
    : DataUnit(unit), operate(operation)
{
}

MapChangeUnit::MapChangeUnit(const MapChangeUnit & other) = default;
MapChangeUnit & MapChangeUnit::operator=(const MapChangeUnit & other) = default;
MapChangeUnit::~MapChangeUnit() = default;

}  // namespace velnor
