// The two inverse transforms against their definitions, evaluated directly in
// double precision, their tables against the closed forms, and every kernel
// set against the portable one, bit for bit.
#include "audio/audio_transforms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "audio/audio_transforms_kernels.h"
#include "kernel_test_util.h"
#include "platform/cpu.h"

namespace vexil {
namespace {

constexpr double kPi = std::numbers::pi;

struct Areas {
  explicit Areas(uint32_t n) : index(TransformIndexInts(n), 0), table(DctTableFloats(n), 0.0f) {}
  std::vector<int32_t> index;
  std::vector<float> table;
};

// data[k] = (R0 + R[n/2] cos(pi k)) / 2 + sum R[j] cos(2 pi jk/n) + I[j] sin(2 pi jk/n).
std::vector<double> DirectRealFft(const std::vector<float>& in) {
  const size_t n = in.size();
  std::vector<double> cosines(n), sines(n), out(n);
  for (size_t i = 0; i < n; ++i) {
    cosines[i] = std::cos(2 * kPi * double(i) / double(n));
    sines[i] = std::sin(2 * kPi * double(i) / double(n));
  }
  for (size_t k = 0; k < n; ++k) {
    double sum = (double(in[0]) + double(in[1]) * ((k & 1) ? -1 : 1)) / 2;
    for (size_t j = 1; j < n / 2; ++j) {
      const size_t phase = (j * k) % n;
      sum += double(in[2 * j]) * cosines[phase] + double(in[2 * j + 1]) * sines[phase];
    }
    out[k] = sum;
  }
  return out;
}

// C[k] = sum a[j] cos(pi j (k + 1/2) / n).
std::vector<double> DirectDct(const std::vector<float>& in) {
  const size_t n = in.size();
  std::vector<double> cosines(4 * n), out(n);
  for (size_t i = 0; i < 4 * n; ++i) cosines[i] = std::cos(kPi * double(i) / double(2 * n));
  for (size_t k = 0; k < n; ++k) {
    double sum = 0;
    for (size_t j = 0; j < n; ++j) sum += double(in[j]) * cosines[(j * (2 * k + 1)) % (4 * n)];
    out[k] = sum;
  }
  return out;
}

// Largest error relative to the output's root mean square.
double RelativeError(const std::vector<float>& got, const std::vector<double>& want) {
  double err = 0, power = 0;
  for (size_t i = 0; i < want.size(); ++i) {
    err = std::max(err, std::abs(double(got[i]) - want[i]));
    power += want[i] * want[i];
  }
  return err / std::sqrt(power / double(want.size()));
}

std::vector<float> RandomData(uint32_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> data(n);
  for (float& v : data) v = value(rng);
  return data;
}

TEST(AudioTransforms, MatchTheirDefinitions) {
  for (uint32_t n = 4; n <= 4096; n *= 2) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
      const std::vector<float> input = RandomData(n, seed * n);
      Areas real_areas(n), dct_areas(n);
      std::vector<float> real = input, dct = input;
      InverseRealFft(n, real.data(), real_areas.index.data(), real_areas.table.data());
      InverseDct(n, dct.data(), dct_areas.index.data(), dct_areas.table.data());
      // Single precision over log2(n) stages: about one unit of 2^-24 per stage.
      const double bound = 1.5e-7 * std::log2(double(n));
      EXPECT_LT(RelativeError(real, DirectRealFft(input)), bound) << "real FFT, n = " << n;
      EXPECT_LT(RelativeError(dct, DirectDct(input)), bound) << "DCT, n = " << n;
    }
  }
}

TEST(AudioTransforms, RealFftOfFourValues) {
  // (R0, R2, R1, I1) -> ((R0+R2)/2 + R1, (R0-R2)/2 + I1, (R0+R2)/2 - R1, (R0-R2)/2 - I1).
  Areas areas(4);
  float data[4] = {6.0f, 2.0f, 1.5f, -0.25f};
  InverseRealFft(4, data, areas.index.data(), areas.table.data());
  EXPECT_EQ(data[0], 4.0f + 1.5f);
  EXPECT_EQ(data[1], 2.0f - 0.25f);
  EXPECT_EQ(data[2], 4.0f - 1.5f);
  EXPECT_EQ(data[3], 2.0f + 0.25f);
}

TEST(AudioTransforms, DctImpulses) {
  const uint32_t n = 512;
  for (uint32_t position : {0u, 1u, 2u, 7u, 255u, 256u, 300u, 511u}) {
    Areas areas(n);
    std::vector<float> data(n, 0.0f);
    data[position] = 1.0f;
    InverseDct(n, data.data(), areas.index.data(), areas.table.data());
    for (uint32_t k = 0; k < n; ++k) {
      const double want = std::cos(kPi * position * (k + 0.5) / n);
      ASSERT_NEAR(data[k], want, 2e-6) << "impulse at " << position << ", k = " << k;
    }
  }
}

TEST(AudioTransforms, TwiddleTableClosedForms) {
  for (uint32_t nw = 4; nw <= 2048; nw *= 2) {
    std::vector<float> w(nw, -9.0f);
    BuildTwiddleTable(nw, w.data());
    // Every sub-table, from the full one down, holds the same layout for its length.
    uint32_t offset = 0;
    for (uint32_t nwh = nw / 2; nwh >= 2; offset += nwh, nwh /= 2) {
      const float* t = w.data() + offset;
      const double delta = (kPi / 4) / nwh;
      EXPECT_EQ(t[0], 1.0f);
      EXPECT_EQ(t[1], float(std::cos(kPi / 4)));
      if (nwh >= 4) {
        // The top table computes these from cosines, the sub-tables from stored floats.
        EXPECT_FLOAT_EQ(t[2], float(0.5 / std::cos(2 * delta))) << nw << " " << nwh;
        EXPECT_FLOAT_EQ(t[3], float(0.5 / std::cos(6 * delta))) << nw << " " << nwh;
      }
      for (uint32_t j = 4; j < nwh; j += 4) {
        ASSERT_EQ(t[j], float(std::cos(delta * j))) << nw << " " << nwh << " " << j;
        ASSERT_EQ(t[j + 1], float(std::sin(delta * j)));
        ASSERT_EQ(t[j + 2], float(std::cos(3 * delta * j)));
        ASSERT_EQ(t[j + 3], float(std::sin(3 * delta * j)));
      }
      if (nwh == 2) break;
    }
    EXPECT_LE(offset + 2, nw);
  }
}

TEST(AudioTransforms, CosineTableClosedForms) {
  for (uint32_t nc = 2; nc <= 4096; nc *= 2) {
    std::vector<float> c(nc, -9.0f);
    BuildCosineTable(nc, c.data());
    const uint32_t nch = nc / 2;
    const double delta = (kPi / 4) / nch;
    EXPECT_EQ(c[0], float(std::cos(kPi / 4)));
    EXPECT_EQ(c[nch], 0.5f * c[0]);
    for (uint32_t j = 1; j < nch; ++j) {
      ASSERT_EQ(c[j], float(0.5 * std::cos(delta * j))) << nc << " " << j;
      ASSERT_EQ(c[nc - j], float(0.5 * std::sin(delta * j))) << nc << " " << j;
    }
  }
}

TEST(AudioTransforms, TablesAreBuiltOnceAndRebuiltForLongerInput) {
  const uint32_t n = 1024;
  Areas areas(2 * n);
  std::vector<float> data = RandomData(n, 5);
  InverseDct(n, data.data(), areas.index.data(), areas.table.data());
  EXPECT_EQ(areas.index[0], int32_t(n / 4));
  EXPECT_EQ(areas.index[1], int32_t(n));
  // A second call of the same length leaves the tables alone (a marker survives).
  areas.table[5] = 1234.5f;
  InverseDct(n, data.data(), areas.index.data(), areas.table.data());
  EXPECT_EQ(areas.table[5], 1234.5f);
  // A longer call rebuilds them and is exact again.
  const std::vector<float> input = RandomData(2 * n, 6);
  data = input;
  InverseDct(2 * n, data.data(), areas.index.data(), areas.table.data());
  EXPECT_EQ(areas.index[0], int32_t(n / 2));
  EXPECT_EQ(areas.index[1], int32_t(2 * n));
  EXPECT_LT(RelativeError(data, DirectDct(input)), 3e-5);
}

// ---------------------------------------------------------------------------
// The vector kernels give the portable kernels' float bits.
// ---------------------------------------------------------------------------

// Every set this processor runs, and the set the transforms choose.
std::vector<const TransformKernels*> KernelSetsToCompare() {
  std::vector<const TransformKernels*> sets = {&SelectTransformKernels(CpuFeatures())};
  for (const TransformKernels* k : test::RunnableKernelSets(TransformKernelSets()))
    sets.push_back(k);
  return sets;
}

// Values between guard values, to catch writes outside them.
template <class T>
test::Guarded<T> GuardedCopy(const std::vector<T>& values) {
  test::Guarded<T> guarded(values.size());
  std::copy(values.begin(), values.end(), guarded.data());
  return guarded;
}

// The same bits. Where an infinity minus an infinity makes a NaN, the NaN's
// sign and payload depend on which operand the compiler names first, so there
// both only have to be NaN.
bool SameBits(const std::vector<float>& got, const std::vector<float>& want) {
  for (size_t i = 0; i < want.size(); ++i) {
    if (std::isnan(got[i]) && std::isnan(want[i])) continue;
    if (std::memcmp(&got[i], &want[i], sizeof(float)) != 0) return false;
  }
  return true;
}

struct TransformKind {
  const char* name;
  void (*transform)(const TransformKernels&, uint32_t, float*, int32_t*, float*);
  uint32_t (*table_floats)(uint32_t);
};
const TransformKind kTransformKinds[] = {
    {"real FFT", InverseRealFft, RealFftTableFloats},
    {"DCT", InverseDct, DctTableFloats},
};

// One transform with its own areas, sized as the header says, all guarded.
struct GuardedCall {
  GuardedCall(uint32_t index_ints, uint32_t table_floats)
      : index(GuardedCopy(std::vector<int32_t>(index_ints, 0))),
        table(GuardedCopy(std::vector<float>(table_floats, 0.0f))) {}
  std::vector<float> Run(const TransformKind& kind, const TransformKernels& kernels, uint32_t n,
                         const std::vector<float>& input) {
    test::Guarded<float> data = GuardedCopy(input);
    kind.transform(kernels, n, data.data(), index.data(), table.data());
    EXPECT_TRUE(data.GuardsIntact()) << kernels.name << " " << kind.name << " n = " << n;
    EXPECT_TRUE(index.GuardsIntact()) << kernels.name << " " << kind.name << " n = " << n;
    EXPECT_TRUE(table.GuardsIntact()) << kernels.name << " " << kind.name << " n = " << n;
    return data.Values();
  }
  test::Guarded<int32_t> index;
  test::Guarded<float> table;
};

// Inputs of every kind the arithmetic treats differently: plain values, loud
// ones, mostly zeros of both signs, and exponents from subnormal to the float's
// largest (a few sums overflow: some outputs are infinite, some NaN).
std::vector<float> KernelTestData(uint32_t n, uint32_t seed, int style) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<float> data(n);
  for (float& v : data) {
    switch (style) {
      case 0:
        v = unit(rng);
        break;
      case 1:
        v = unit(rng) * 32768.0f * static_cast<float>(1 << (rng() % 8));
        break;
      case 2:
        v = rng() % 5 == 0 ? unit(rng) : (rng() & 1 ? 0.0f : -0.0f);
        break;
      default:
        v = std::ldexp(unit(rng), static_cast<int>(rng() % 268) - 140);
        break;
    }
  }
  return data;
}

TEST(AudioTransformKernels, VectorSetsGiveThePortableBitsAtEveryLength) {
  for (const TransformKind& kind : kTransformKinds) {
    for (uint32_t n = 4; n <= 4096; n *= 2) {
      for (int style = 0; style < 4; ++style) {
        const std::vector<float> input = KernelTestData(n, n * 16 + style, style);
        GuardedCall reference(TransformIndexInts(n), kind.table_floats(n));
        const std::vector<float> want = reference.Run(kind, TransformKernelsPortable(), n, input);
        for (const TransformKernels* kernels : KernelSetsToCompare()) {
          GuardedCall call(TransformIndexInts(n), kind.table_floats(n));
          // The first call builds the tables and the plan, the second uses them.
          for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(SameBits(call.Run(kind, *kernels, n, input), want))
                << kernels->name << " " << kind.name << " n = " << n << " style " << style
                << " round " << round;
          }
        }
      }
    }
  }
}

TEST(AudioTransformKernels, SharedAreasGiveThePortableBits) {
  // One pair of areas for everything, as a caller may use them: shorter
  // lengths after longer ones, the other transform at the same length (its
  // cosine table replaces the first one's), the tables rebuilt for a longer one.
  const struct {
    int kind;
    uint32_t n;
  } calls[] = {{1, 2048}, {0, 512},  {1, 1024}, {0, 4096}, {1, 4096}, {1, 64},
               {0, 256},  {0, 4096}, {1, 128},  {0, 8},    {1, 16},   {0, 4096}};
  for (const TransformKernels* kernels : KernelSetsToCompare()) {
    GuardedCall reference(TransformIndexInts(4096), DctTableFloats(4096));
    GuardedCall call(TransformIndexInts(4096), DctTableFloats(4096));
    uint32_t seed = 1;
    for (const auto& c : calls) {
      const TransformKind& kind = kTransformKinds[c.kind];
      const std::vector<float> input = KernelTestData(c.n, seed++, 1);
      const std::vector<float> want = reference.Run(kind, TransformKernelsPortable(), c.n, input);
      ASSERT_TRUE(SameBits(call.Run(kind, *kernels, c.n, input), want))
          << kernels->name << " " << kind.name << " n = " << c.n;
    }
  }
}

TEST(AudioTransformKernels, TheFeatureWordChoosesTheSet) {
  test::ExpectKernelChoice(TransformKernelSets(), SelectTransformKernels);
}

}  // namespace
}  // namespace vexil
