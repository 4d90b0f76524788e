#include "learning/basis_learner.h"

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_matrices.h"

namespace orvane {
namespace {

using testing_support::FromRows;
using testing_support::Identity;
using testing_support::MaxAbs;
using testing_support::MaxDifference;
using testing_support::Product;
using testing_support::RandomMatrix;
using testing_support::RandomOrthogonal;
using testing_support::Transposed;
using Matrix = Tarn::Matrix<double>;

LearnerOptions Parameters(std::uint32_t dimension, std::uint32_t iterations,
                          double condition = 1e-4) {
  LearnerOptions p;
  p.DimensionReduction = dimension;
  p.MaxIterations = iterations;
  p.ConversionCondition = condition;
  return p;
}

struct Learned {
  ResultCode code;
  Matrix bases;
  std::string out;
};

Learned Learn(const Matrix& x, const LearnerOptions& parameters) {
  Learned result;
  BasisLearner learner(parameters);
  ::testing::internal::CaptureStdout();
  result.code = learner.LearnBases(x, result.bases);
  result.out = ::testing::internal::GetCapturedStdout();
  return result;
}

double Dot(const double* a, const double* b, std::uint32_t n) {
  double s = 0;
  for (std::uint32_t i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}

// Patches whose covariance is known exactly: rows ±σ_k r_k for orthonormal rows r_k, so
// XᵀX / N has eigenvalue λ_k = 2σ_k² / N on r_k. The eigenvalues are given out of order.
struct KnownCovariance {
  Matrix x;
  Matrix directions;  // r_k, one per row
  std::vector<double> lambda;
};

KnownCovariance MakeKnownCovariance() {
  KnownCovariance k;
  k.lambda = {9.0, 4.0, 1.0, 0.25, 16.0, 2.25};
  const std::uint32_t d = static_cast<std::uint32_t>(k.lambda.size());
  k.directions = RandomOrthogonal(d, 77);
  const std::uint32_t n = 2 * d;
  k.x.Resize(n, d);
  for (std::uint32_t i = 0; i < d; ++i) {
    const double sigma = std::sqrt(k.lambda[i] * n / 2.0);
    for (std::uint32_t c = 0; c < d; ++c) {
      k.x(2 * i, c) = sigma * k.directions(i, c);
      k.x(2 * i + 1, c) = -sigma * k.directions(i, c);
    }
  }
  return k;
}

TEST(LearnBases, WithoutIterationsGivesScaledPrincipalDirectionsAndPrintsOne) {
  const KnownCovariance k = MakeKnownCovariance();
  const Learned learned = Learn(k.x, Parameters(4, 0));
  ASSERT_EQ(learned.code, kSuccess);
  EXPECT_EQ(learned.out, "1\n");
  ASSERT_EQ(learned.bases.Rows(), 4u);
  ASSERT_EQ(learned.bases.Columns(), 6u);
  // Strongest first: λ = 16, 9, 4, 2.25 on directions 4, 0, 1, 5; each row is ±√λ r.
  const std::uint32_t order[] = {4, 0, 1, 5};
  for (std::uint32_t i = 0; i < 4; ++i) {
    const double root = std::sqrt(k.lambda[order[i]]);
    const double along = Dot(learned.bases[i], k.directions[order[i]], 6);
    EXPECT_NEAR(std::fabs(along), root, 1e-12) << i;
    EXPECT_NEAR(Dot(learned.bases[i], learned.bases[i], 6), root * root, 1e-12) << i;
  }
}

TEST(LearnBases, NonConvergingIterationsPrintOneDotEachThenCountPlusOne) {
  const Matrix x = RandomMatrix(300, 6, 4);
  // A condition of 0 can never be met: the change measure is never below 0.
  const Learned learned = Learn(x, Parameters(4, 5, 0.0));
  EXPECT_EQ(learned.code, kSuccess);
  EXPECT_EQ(learned.out, ".....6\n");
}

// The progress goes to the caller's sink, and the cancel hook is asked before every step: a
// learning stopped after two steps gives 29, two dots and no count, and leaves the bases alone.
TEST(LearnBases, ReportsToTheSinkAndStopsWhenCancelled) {
  const Matrix x = RandomMatrix(300, 6, 4);
  std::ostringstream report;
  int asked = 0;
  BasisLearner learner(Parameters(4, 50, 0.0), report, [&] { return ++asked > 2; });
  Matrix bases(1, 1);
  bases(0, 0) = 7.0;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(learner.LearnBases(x, bases), kCanceled);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(report.str(), "..");
  EXPECT_EQ(bases.Rows(), 1u);
  EXPECT_EQ(bases(0, 0), 7.0);
}

TEST(LearnBases, ConvergenceInFirstIterationPrintsOneDotAndOne) {
  const Matrix x = RandomMatrix(300, 6, 4);
  const Learned learned = Learn(x, Parameters(4, 5, 1e9));
  EXPECT_EQ(learned.code, kSuccess);
  EXPECT_EQ(learned.out, ".1\n");
}

TEST(LearnBases, NoPatchesGiveDividedByZeroAndLeaveBasesAlone) {
  const Matrix x(0, 12);
  Matrix bases = FromRows({{5}});
  BasisLearner learner(Parameters(4, 3));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(learner.LearnBases(x, bases), kDividedByZero);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(bases.Rows(), 1u);
  EXPECT_EQ(bases(0, 0), 5.0);
}

TEST(LearnBases, ZeroDimensionIsNotReady) {
  Matrix bases = FromRows({{5}});
  BasisLearner learner(Parameters(0, 0));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(learner.LearnBases(RandomMatrix(20, 6, 1), bases), kNotReady);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(bases(0, 0), 5.0);
}

TEST(LearnBases, FullDimensionGivesZeroBasesForDirectionsWithoutVariance) {
  // The last two pixels never vary: their directions have eigenvalue 0.
  Matrix x = RandomMatrix(200, 6, 9);
  for (std::uint32_t r = 0; r < x.Rows(); ++r) x(r, 4) = x(r, 5) = 0.0;
  const Learned learned = Learn(x, Parameters(6, 0));
  ASSERT_EQ(learned.code, kSuccess);
  for (std::uint32_t i = 0; i < 4; ++i) EXPECT_GT(Dot(learned.bases[i], learned.bases[i], 6), 1e-3);
  for (std::uint32_t i = 4; i < 6; ++i)
    for (std::uint32_t c = 0; c < 6; ++c) EXPECT_EQ(learned.bases(i, c), 0.0) << i << "," << c;
}

// Independent Laplacian (super-Gaussian) sources s, mixed as x = M s.
Matrix LaplacianSources(std::uint32_t n, std::uint32_t k, unsigned seed) {
  std::mt19937 rng(seed);
  std::exponential_distribution<double> magnitude(std::sqrt(2.0));  // unit variance
  std::bernoulli_distribution sign(0.5);
  Matrix s(n, k);
  for (std::uint32_t i = 0; i < s.Count(); ++i)
    s.Data()[i] = sign(rng) ? magnitude(rng) : -magnitude(rng);
  return s;
}

TEST(LearnBases, IcaRecoversMixingOfIndependentSourcesUpToPermutationAndSign) {
  const std::uint32_t n = 20000, k = 3;
  const Matrix mixing = FromRows({{1.0, 0.6, -0.3}, {0.2, 1.0, 0.5}, {-0.4, 0.3, 1.0}});
  Matrix x = Product(LaplacianSources(n, k, 5), Transposed(mixing));
  for (std::uint32_t c = 0; c < k; ++c) {  // patches arrive with their means removed
    double mean = 0;
    for (std::uint32_t r = 0; r < n; ++r) mean += x(r, c);
    mean /= n;
    for (std::uint32_t r = 0; r < n; ++r) x(r, c) -= mean;
  }
  const Learned learned = Learn(x, Parameters(k, 200, 1e-9));
  ASSERT_EQ(learned.code, kSuccess);
  ASSERT_NE(learned.out, std::string(200, '.') + "201\n") << "did not converge";

  // Each basis is a column of M (the bases are the mixing directions, one per row), up to
  // order, sign and the estimation error of 20000 samples.
  std::vector<bool> matched(k, false);
  for (std::uint32_t i = 0; i < k; ++i) {
    const double* b = learned.bases[i];
    double best = 0.0;
    std::uint32_t which = k;
    for (std::uint32_t j = 0; j < k; ++j) {
      double dot = 0, mm = 0;
      for (std::uint32_t c = 0; c < k; ++c) {
        dot += b[c] * mixing(c, j);
        mm += mixing(c, j) * mixing(c, j);
      }
      const double cosine = std::fabs(dot) / std::sqrt(Dot(b, b, k) * mm);
      if (cosine > best) {
        best = cosine;
        which = j;
      }
    }
    EXPECT_GT(best, 0.995) << "basis " << i;
    ASSERT_LT(which, k);
    EXPECT_FALSE(matched[which]) << "two bases found the same source";
    matched[which] = true;
  }
}

// Smooth random "image" patches: sums of a few low-frequency waves with noise.
Matrix SmoothPatches(std::uint32_t n, std::uint32_t side, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> g(0.0, 1.0);
  Matrix x(n, side * side);
  for (std::uint32_t r = 0; r < n; ++r) {
    const double a = g(rng), b = g(rng), c = g(rng);
    for (std::uint32_t i = 0; i < side; ++i)
      for (std::uint32_t j = 0; j < side; ++j)
        x(r, i * side + j) = a * i + b * j + c * std::cos(0.7 * i * j) + 0.1 * g(rng);
  }
  return x;
}

TEST(LearnBases, SameInputGivesSameBytes) {
  const Matrix x = SmoothPatches(3000, 4, 3);
  const Learned first = Learn(x, Parameters(8, 15));
  const Learned second = Learn(x, Parameters(8, 15));
  ASSERT_EQ(first.code, kSuccess);
  ASSERT_EQ(second.code, kSuccess);
  ASSERT_EQ(first.bases.Count(), second.bases.Count());
  EXPECT_EQ(
      std::memcmp(first.bases.Data(), second.bases.Data(), sizeof(double) * first.bases.Count()),
      0);
  EXPECT_EQ(first.out, second.out);
}

TEST(LearnBases, FewerPatchesThanBasesStillGiveFiniteBases) {
  const Matrix x = SmoothPatches(5, 4, 8);  // rank at most 5, 16 bases asked for
  const Learned learned = Learn(x, Parameters(16, 30));
  ASSERT_EQ(learned.code, kSuccess);
  ASSERT_EQ(learned.bases.Rows(), 16u);
  for (std::uint32_t i = 0; i < learned.bases.Count(); ++i)
    ASSERT_TRUE(std::isfinite(learned.bases.Data()[i])) << i;
}

TEST(Whiten, WhitenedDataHasIdentityCovariance) {
  const Matrix x = SmoothPatches(4000, 4, 6);
  BasisLearner learner(Parameters(6, 0));
  ASSERT_EQ(learner.Whiten(x), kSuccess);
  const Matrix& z = learner.Whitened();
  ASSERT_EQ(z.Rows(), 4000u);
  ASSERT_EQ(z.Columns(), 6u);
  Matrix covariance = Product(Transposed(z), z);
  for (std::uint32_t i = 0; i < covariance.Count(); ++i) covariance.Data()[i] /= 4000.0;
  EXPECT_LT(MaxDifference(covariance, Identity(6)), 1e-10);
  // V and A undo each other on the kept directions: V · A = I.
  EXPECT_LT(MaxDifference(Product(learner.Whitening(), learner.Dewhitening()), Identity(6)), 1e-10);
}

TEST(IcaStep, ThrowsWithoutWhitenedData) {
  BasisLearner learner(Parameters(3, 1));
  learner.ResetUnmixing();
  EXPECT_THROW(learner.IcaStep(), Tarn::MatrixException);
}

TEST(Orthogonalize, GivesOrthonormalRowsAndColumns) {
  Matrix w = RandomMatrix(8, 8, 14);
  BasisLearner::Orthogonalize(w);
  EXPECT_LT(MaxDifference(Product(w, Transposed(w)), Identity(8)), 1e-12);
  EXPECT_LT(MaxDifference(Product(Transposed(w), w), Identity(8)), 1e-12);
}

TEST(Orthogonalize, IsClosestOrthogonalMatrixSoLeavesOrthogonalInputAlone) {
  Matrix w = RandomOrthogonal(6, 15);
  const Matrix before = w;
  BasisLearner::Orthogonalize(w);
  EXPECT_LT(MaxDifference(w, before), 1e-13);
}

// Regular matrices W whose WᵀW has an eigenvector matrix E on which Gauss-Jordan elimination
// without pivoting loses the inverse (small pivots), so W · E D E⁻¹ with such an E⁻¹ is far
// from orthogonal. W (WᵀW)^(-1/2) must be orthogonal all the same.
class HardEigenvectors : public ::testing::TestWithParam<Matrix> {};

TEST_P(HardEigenvectors, OrthogonalizeDoesNotEliminateOnEigenvectors) {
  Matrix w = GetParam();
  BasisLearner::Orthogonalize(w);
  EXPECT_LT(MaxDifference(Product(Transposed(w), w), Identity(w.Rows())), 1e-13);
}

INSTANTIATE_TEST_SUITE_P(Matrices, HardEigenvectors,
                         ::testing::Values(FromRows({{-1, 1, -2}, {-3, -1, 1}, {1, -1, -1}}),
                                           FromRows({{-1, -1, 3, -1},
                                                     {3, -1, 3, 3},
                                                     {-2, -1, -3, -3},
                                                     {-2, -2, 1, 3}})));

TEST(Orthogonalize, ColumnWithoutSignalStaysZero) {
  Matrix w = RandomMatrix(5, 5, 16);
  for (std::uint32_t r = 0; r < 5; ++r) w(r, 4) = 0.0;
  BasisLearner::Orthogonalize(w);
  Matrix expected = Identity(5);
  expected(4, 4) = 0.0;
  EXPECT_LT(MaxDifference(Product(Transposed(w), w), expected), 1e-12);
}

}  // namespace
}  // namespace orvane
