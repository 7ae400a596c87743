#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "brindlex_velnor/semantic_code.hpp"

namespace {

using semantic_map::SemanticFlags;
using semantic_map::SemanticType;

struct Row
{
  int32_t code;
  const SemanticType * flag;
  unsigned int value;
};

std::vector<Row> expectedRows()
{
  using F = SemanticFlags;
  return {
      {1, &F::EMPTY, 0},
      {2, &F::STATIC, 1},
      {3, &F::DYNAMIC, 4},
      {100, &F::EMPTY, 0},
      {101, &F::STATIC, 1},
      {102, &F::STATIC, 1},
      {103, &F::STUBBORN_STAIN, 128},
      {104, &F::STUBBORN_STAIN, 128},
      {105, &F::CARPET, 256},
      {106, &F::ESCALATOR_ENTRANCE, 1024},
      {107, &F::STATIC, 1},
      {108, &F::FLOOR_LAMP, 512},
      {109, &F::STATIC, 1},
      {200, &F::STATIC, 1},
      {201, &F::CHAIR, 2},
      {202, &F::CHAIR, 2},
      {203, &F::WHEELCHAIR, 2048},
      {204, &F::HOSPITAL_BED, 4096},
      {300, &F::PERSON, 8},
      {400, &F::EMPTY, 0},
      {401, &F::EMPTY, 0},
      {402, &F::STATIC, 1},
      {403, &F::STATIC, 1},
      {404, &F::STATIC, 1},
      {405, &F::STATIC, 1},
      {406, &F::EMPTY, 0},
      {407, &F::EMPTY, 0},
      {408, &F::EMPTY, 0},
      {409, &F::STATIC, 1},
      {500, &F::NARROW_CORRIDOR, 32},
  };
}

TEST(SemanticFlagConstants, HaveTheirBitValues)
{
  using F = SemanticFlags;
  EXPECT_EQ(0u, F::EMPTY.value);
  EXPECT_EQ(1u, F::STATIC.value);
  EXPECT_EQ(2u, F::CHAIR.value);
  EXPECT_EQ(4u, F::DYNAMIC.value);
  EXPECT_EQ(8u, F::PERSON.value);
  EXPECT_EQ(16u, F::FORBIDDEN.value);
  EXPECT_EQ(32u, F::NARROW_CORRIDOR.value);
  EXPECT_EQ(64u, F::COVERED_AREA.value);
  EXPECT_EQ(128u, F::STUBBORN_STAIN.value);
  EXPECT_EQ(256u, F::CARPET.value);
  EXPECT_EQ(512u, F::FLOOR_LAMP.value);
  EXPECT_EQ(1024u, F::ESCALATOR_ENTRANCE.value);
  EXPECT_EQ(2048u, F::WHEELCHAIR.value);
  EXPECT_EQ(4096u, F::HOSPITAL_BED.value);
}

TEST(SemanticCodeTable, HoldsExactlyTheThirtyRowsInCodeOrder)
{
  const auto & table = SemanticType::map_;
  const auto rows = expectedRows();
  ASSERT_EQ(30u, table.size());
  auto it = table.begin();
  for (const Row & row : rows) {
    ASSERT_NE(table.end(), it);
    EXPECT_EQ(row.code, it->first);
    // Rows refer to the constant objects themselves.
    EXPECT_EQ(row.flag, it->second) << "code " << row.code;
    ++it;
  }
}

TEST(SemanticCodeTable, EveryRowTranslatesToItsFlag)
{
  for (const Row & row : expectedRows()) {
    EXPECT_EQ(row.value, velnor::semanticTypeFromCode(row.code).value) << "code " << row.code;
  }
}

TEST(SemanticCodeTable, NoRowMapsToForbiddenOrCoveredArea)
{
  for (const auto & row : SemanticType::map_) {
    EXPECT_NE(&SemanticFlags::FORBIDDEN, row.second);
    EXPECT_NE(&SemanticFlags::COVERED_AREA, row.second);
  }
}

TEST(SemanticCodeTable, ZeroIsEmptyAndUnknownCodesAreStatic)
{
  EXPECT_EQ(0u, velnor::semanticTypeFromCode(0).value);
  for (int32_t code : {110, 205, 301, 410, 501, 999, -1, -100, 4, 99, INT_MIN, INT_MAX}) {
    EXPECT_EQ(1u, velnor::semanticTypeFromCode(code).value) << "code " << code;
  }
}

// Lookups read the constant at lookup time, so they follow the one shared object.
class SemanticCodeTableConstantChange : public ::testing::Test
{
protected:
  void TearDown() override { SemanticFlags::CHAIR = SemanticType(2u); }
};

TEST_F(SemanticCodeTableConstantChange, LookupReadsTheConstantNow)
{
  SemanticFlags::CHAIR = SemanticType(1u << 20);
  EXPECT_EQ(1u << 20, velnor::semanticTypeFromCode(201).value);
  EXPECT_EQ(1u << 20, velnor::semanticTypeFromCode(202).value);
  EXPECT_EQ(1u, velnor::semanticTypeFromCode(200).value);
}

// A second library that carries its own definitions (and even a different table initialiser)
// must find everything set and change nothing, neither at load nor at unload.
class SecondLibraryLoad : public ::testing::Test
{
protected:
  void TearDown() override { SemanticFlags::WHEELCHAIR = SemanticType(2048u); }
};

TEST_F(SecondLibraryLoad, ChangesNeitherConstantsNorTable)
{
  const auto & table = SemanticType::map_;
  std::vector<std::pair<const void *, const SemanticType *>> nodes;
  for (const auto & row : table) {
    nodes.emplace_back(&row, row.second);
  }
  // A marker value that a repeated initialisation of the constant would overwrite.
  SemanticFlags::WHEELCHAIR = SemanticType(1u << 30);

  void * handle = dlopen(VELNOR_SECOND_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, handle) << dlerror();
  using SizeFn = std::size_t (*)();
  using AddrFn = const void * (*)();
  using SumFn = unsigned int (*)();
  auto size_fn = reinterpret_cast<SizeFn>(dlsym(handle, "secondLibraryTableSize"));
  auto table_fn = reinterpret_cast<AddrFn>(dlsym(handle, "secondLibraryTableAddress"));
  auto chair_fn = reinterpret_cast<AddrFn>(dlsym(handle, "secondLibraryChairAddress"));
  auto sum_fn = reinterpret_cast<SumFn>(dlsym(handle, "secondLibraryFlagSum"));
  ASSERT_NE(nullptr, size_fn);
  ASSERT_NE(nullptr, table_fn);
  ASSERT_NE(nullptr, chair_fn);
  ASSERT_NE(nullptr, sum_fn);

  // The second library sees the very same objects.
  EXPECT_EQ(static_cast<const void *>(&table), table_fn());
  EXPECT_EQ(static_cast<const void *>(&SemanticFlags::CHAIR), chair_fn());
  EXPECT_EQ(30u, size_fn());
  EXPECT_EQ(8191u - 2048u + (1u << 30), sum_fn());
  EXPECT_EQ(1u << 30, SemanticFlags::WHEELCHAIR.value);

  dlclose(handle);

  // Same nodes, same targets: the table was neither rebuilt nor destroyed.
  ASSERT_EQ(nodes.size(), table.size());
  size_t k = 0;
  for (const auto & row : table) {
    EXPECT_EQ(nodes[k].first, static_cast<const void *>(&row));
    EXPECT_EQ(nodes[k].second, row.second);
    ++k;
  }
  EXPECT_EQ(4096u, velnor::semanticTypeFromCode(204).value);
  EXPECT_EQ(1u << 30, velnor::semanticTypeFromCode(203).value);
}

}  // namespace
