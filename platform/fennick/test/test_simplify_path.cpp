#include <gtest/gtest.h>

#include <opencv2/core/types.hpp>
#include <vector>

#include "fennick/simplify_path.hpp"

using Path = std::vector<cv::Point>;

class SimplifyPathTest : public ::testing::Test
{
protected:
  Path simplify(const Path & in, double epsilon, double distance)
  {
    Path out;
    simplify_path.douglasPeucker(in, epsilon, distance, out);
    return out;
  }

  SimplifyPath simplify_path;
};

TEST_F(SimplifyPathTest, StraightLineCollapsesToItsEndPoints)
{
  Path line;
  for (int x = 0; x <= 20; ++x) {
    line.emplace_back(x, 3);
  }
  EXPECT_EQ(simplify(line, 0.5, 0.0), (Path{{0, 3}, {20, 3}}));
}

TEST_F(SimplifyPathTest, DiagonalWithSmallJitterCollapses)
{
  const Path in{{0, 0}, {1, 1}, {2, 3}, {3, 3}, {4, 4}, {5, 5}};
  EXPECT_EQ(simplify(in, 1.0, 0.0), (Path{{0, 0}, {5, 5}}));
}

TEST_F(SimplifyPathTest, CornerIsKeptInPathOrder)
{
  Path in;
  for (int x = 0; x <= 5; ++x) {
    in.emplace_back(x, 0);
  }
  for (int y = 1; y <= 5; ++y) {
    in.emplace_back(5, y);
  }
  EXPECT_EQ(simplify(in, 0.5, 0.0), (Path{{0, 0}, {5, 0}, {5, 5}}));
}

TEST_F(SimplifyPathTest, PointExactlyAtEpsilonIsDropped)
{
  const Path in{{0, 0}, {2, 1}, {4, 0}};
  EXPECT_EQ(simplify(in, 1.0, 0.0), (Path{{0, 0}, {4, 0}}));
  EXPECT_EQ(simplify(in, 0.99, 0.0), in);
}

TEST_F(SimplifyPathTest, TurningBackKeepsTheTurningPoint)
{
  const Path in{{0, 0}, {5, 0}, {10, 0}, {6, 0}, {1, 0}};
  EXPECT_EQ(simplify(in, 0.5, 0.0), (Path{{0, 0}, {10, 0}, {1, 0}}));
}

TEST_F(SimplifyPathTest, ClosedLoopKeepsItsCorners)
{
  const Path square{{0, 0}, {2, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
  EXPECT_EQ(simplify(square, 1.0, 0.0), (Path{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}}));
}

TEST_F(SimplifyPathTest, ThinningMeasuresFromThePointKeptBefore)
{
  // With epsilon 0 every point survives the first stage. (1,1) is 1.41 from (0,0): dropped.
  // (2,0) is only 1.41 from the dropped (1,1) but 2 from the kept (0,0): kept.
  const Path in{{0, 0}, {1, 1}, {2, 0}, {10, 0}};
  EXPECT_EQ(simplify(in, 0.0, 2.0), (Path{{0, 0}, {2, 0}, {10, 0}}));
}

TEST_F(SimplifyPathTest, ThinningMayDropTheLastPoint)
{
  const Path in{{0, 0}, {10, 0}, {10, 1}};
  EXPECT_EQ(simplify(in, 0.0, 2.0), (Path{{0, 0}, {10, 0}}));
  EXPECT_EQ(simplify(in, 0.0, 1.0), in);
}

TEST_F(SimplifyPathTest, ThinningRunsAfterSimplification)
{
  // The corner at (3,0) survives simplification; thinning then compares (3,3) with (3,0).
  const Path in{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}, {3, 3}};
  EXPECT_EQ(simplify(in, 0.5, 2.5), (Path{{0, 0}, {3, 0}, {3, 3}}));
  EXPECT_EQ(simplify(in, 0.5, 3.5), (Path{{0, 0}, {3, 3}}));
}

TEST_F(SimplifyPathTest, ShortInputs)
{
  EXPECT_TRUE(simplify({}, 1.0, 1.0).empty());
  EXPECT_EQ(simplify({{4, 2}}, 1.0, 1.0), (Path{{4, 2}}));
  EXPECT_EQ(simplify({{0, 0}, {7, 1}}, 100.0, 1.0), (Path{{0, 0}, {7, 1}}));
  EXPECT_EQ(simplify({{3, 3}, {3, 3}}, 1.0, 0.5), (Path{{3, 3}}));
  EXPECT_EQ(simplify({{3, 3}, {3, 3}}, 1.0, 0.0), (Path{{3, 3}, {3, 3}}));
}

TEST_F(SimplifyPathTest, OutputReplacesPreviousContent)
{
  Path out{{9, 9}, {8, 8}};
  simplify_path.douglasPeucker({{0, 0}, {1, 0}, {2, 0}}, 0.5, 0.0, out);
  EXPECT_EQ(out, (Path{{0, 0}, {2, 0}}));
}
