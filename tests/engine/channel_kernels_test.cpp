// The channel loops that keep the meters' keys: they must write exactly what the plain loops
// write, and their keys must stand for the largest magnitudes read and written.
#include "engine/channel_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace kestravel::plugins::test {
namespace {

template <typename S>
auto bitsOf(S x)
{
    return std::bit_cast<std::conditional_t<sizeof(S) == 4, uint32_t, uint64_t>>(x);
}

// Every table this processor runs, by name.
std::vector<std::pair<const char*, const ChannelKernels*>> availableTables()
{
    std::vector<std::pair<const char*, const ChannelKernels*>> tables;
    for (const InstructionSet set : kInstructionSets)
        if (const ChannelKernels* table = channelKernelsFor(set))
            tables.emplace_back(instructionSetName(set), table);
    return tables;
}

// As the meters publish them: the read mark alone is no level.
float largestKeyPeak(const KeyLanes& lanes, bool doubleKeys)
{
    const int32_t key = *std::max_element(lanes.key.begin(), lanes.key.end());
    if (key <= kReadKey)
        return 0.0f;
    return doubleKeys ? peakOfKey<double>(key) : peakOfKey<float>(key);
}

// The peak the meters should show for these samples: +infinity when one is not finite.
template <typename T>
double referencePeak(const std::vector<T>& x)
{
    double most = 0.0;
    for (const T v : x) {
        if (!std::isfinite(v))
            return std::numeric_limits<double>::infinity();
        most = std::max(most, std::fabs(static_cast<double>(v)));
    }
    return most;
}

// A float key is exact; a double's keeps 20 fraction bits and never rounds up. Beyond the float
// range a peak reads as +infinity, which clips.
void expectPeak(float got, double want, bool doubleKeys)
{
    if (want > std::numeric_limits<float>::max()) {
        EXPECT_TRUE(std::isinf(got));
        return;
    }
    if (!doubleKeys) {
        EXPECT_EQ(got, static_cast<float>(want));
        return;
    }
    EXPECT_LE(got, want * (1.0 + 1e-7));
    EXPECT_GE(got, want * (1.0 - std::ldexp(1.0, -19)));
}

struct Gain {
    const char* name;
    bool unity;
    bool curve;
};

template <typename S, typename In>
void checkScale(const ChannelKernels& table, const std::vector<In>& input, const Gain& gain, bool inPlace)
{
    const auto n = static_cast<int32_t>(input.size());
    std::vector<double> curve(input.size());
    for (size_t i = 0; i < curve.size(); ++i)
        curve[i] = 0.5 + 0.01 * static_cast<double>(i);
    const GainView view = gain.unity ? GainView{} : gain.curve ? GainView{curve.data(), 0.0} : GainView{nullptr, 0.5};

    // The baseline table's plain loop is the reference for every table's builds, its own plain
    // one included.
    std::vector<S> plain(input.size());
    std::vector<In> plainIn = input;
    const In* source = plainIn.data();
    S* target = plain.data();
    if constexpr (std::is_same_v<S, In>)
        if (inPlace)
            target = plainIn.data();
    const bool plainNonZero = baselineChannelKernels().scale<S, In>(target, source, n, view);
    if constexpr (std::is_same_v<S, In>)
        if (inPlace)
            plain = plainIn;

    for (const int build : {0, 1, 2, 3}) {
        SCOPED_TRACE("build " + std::to_string(build));
        std::vector<S> kept(input.size());
        std::vector<In> keptIn = input;
        S* out = kept.data();
        if constexpr (std::is_same_v<S, In>)
            if (inPlace)
                out = keptIn.data();
        KeyLanes inKeys, outKeys;
        const bool nonZero = table.scale<S, In>(out, keptIn.data(), n, view, (build & 1) ? &inKeys : nullptr,
                                                (build & 2) ? &outKeys : nullptr);
        if constexpr (std::is_same_v<S, In>)
            if (inPlace)
                kept = keptIn;
        EXPECT_EQ(nonZero, plainNonZero);
        for (size_t i = 0; i < kept.size(); ++i)
            ASSERT_EQ(bitsOf(kept[i]), bitsOf(plain[i])) << "sample " << i;
        if (build & 1) {
            expectPeak(largestKeyPeak(inKeys, sizeof(In) == 8), referencePeak(input), sizeof(In) == 8);
            EXPECT_GE(*std::max_element(inKeys.key.begin(), inKeys.key.end()), kReadKey); // read, even silence
        }
        if (build & 2)
            expectPeak(largestKeyPeak(outKeys, sizeof(S) == 8), referencePeak(plain), sizeof(S) == 8);
    }
}

template <typename In>
std::vector<In> samples(const std::string& kind, size_t n)
{
    std::vector<In> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = static_cast<In>(std::sin(static_cast<double>(i) * 0.7) * 0.8);
    if (n == 0)
        return x;
    const size_t at = n / 2;
    if (kind == "silence")
        std::fill(x.begin(), x.end(), In(0));
    else if (kind == "NaN")
        x[at] = std::numeric_limits<In>::quiet_NaN();
    else if (kind == "NaN last") // in the scalar tail after whole vectors, where there is one
        x[n - 1] = std::numeric_limits<In>::quiet_NaN();
    else if (kind == "minus infinity")
        x[at] = -std::numeric_limits<In>::infinity();
    else if (kind == "loud") // finite, but beyond the float range once a double is narrowed
        x[at] = sizeof(In) == 8 ? In(-1.0e300) : In(-3.0e38);
    else if (kind == "just below full scale")
        std::fill(x.begin(), x.end(), static_cast<In>(std::nextafter(In(1), In(0))));
    return x;
}

TEST(ChannelKernels, KeepingLoopsWriteThePlainBitsAndKeepTheirPeaks)
{
    const Gain gains[] = {{"unity", true, false}, {"constant", false, false}, {"curve", false, true}};
    for (const auto& [tableName, table] : availableTables())
        for (const char* kind : {"signal", "silence", "NaN", "NaN last", "minus infinity", "loud", "just below full scale"})
            for (const size_t n : {size_t{1}, size_t{7}, size_t{8}, size_t{16}, size_t{37}, size_t{64}, size_t{101}})
                for (const Gain& gain : gains)
                    for (const bool inPlace : {false, true}) {
                        SCOPED_TRACE(std::string(tableName) + ", " + kind + ", n " + std::to_string(n) + ", " +
                                     gain.name + (inPlace ? ", in place" : ""));
                        checkScale<float, float>(*table, samples<float>(kind, n), gain, inPlace);
                        checkScale<double, double>(*table, samples<double>(kind, n), gain, inPlace);
                        if (!gain.unity && !inPlace) {
                            checkScale<float, double>(*table, samples<double>(kind, n), gain, false);
                            checkScale<double, float>(*table, samples<float>(kind, n), gain, false);
                        }
                    }
}

// A value just below full scale never reads as a clip, in either width.
TEST(ChannelKernels, JustBelowFullScaleIsNoClip)
{
    EXPECT_LT(peakOfKey<float>(std::bit_cast<int32_t>(std::nextafter(1.0f, 0.0f))), 1.0f);
    const double below = std::nextafter(1.0, 0.0);
    EXPECT_LT(peakOfKey<double>(static_cast<int32_t>(std::bit_cast<uint64_t>(below) >> 32)), 1.0f);
    EXPECT_EQ(peakOfKey<double>(static_cast<int32_t>(std::bit_cast<uint64_t>(1.0) >> 32)), 1.0f);
}

// One input at a time or two per pass: the same sums, bit for bit, and each input's own peak.
template <typename S>
void checkAccumulate(const ChannelKernels& table, const char* kind, size_t n)
{
    constexpr bool doubleKeys = sizeof(S) == 8;
    const std::vector<S> x = samples<S>(kind, n);
    std::vector<double> plain(n, 0.25), kept(n, 0.25);
    table.accumulate<S>(plain.data(), x.data(), static_cast<int32_t>(n));
    KeyLanes keys;
    table.accumulate<S>(kept.data(), x.data(), static_cast<int32_t>(n), &keys);
    for (size_t i = 0; i < n; ++i)
        ASSERT_EQ(bitsOf(kept[i]), bitsOf(plain[i]));
    expectPeak(largestKeyPeak(keys, doubleKeys), referencePeak(x), doubleKeys);
    EXPECT_GE(*std::max_element(keys.key.begin(), keys.key.end()), kReadKey);

    std::vector<S> y(n);
    for (size_t i = 0; i < n; ++i)
        y[i] = static_cast<S>(1.0e-3 * static_cast<double>(i) - 0.7);
    table.accumulate<S>(plain.data(), y.data(), static_cast<int32_t>(n));
    for (const int build : {0, 1, 2, 3}) {
        std::vector<double> paired(n, 0.25);
        KeyLanes a, b;
        table.accumulatePair<S>(paired.data(), x.data(), y.data(), static_cast<int32_t>(n),
                                (build & 1) ? &a : nullptr, (build & 2) ? &b : nullptr);
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(bitsOf(paired[i]), bitsOf(plain[i])) << "build " << build << ", sample " << i;
        if (build & 1)
            expectPeak(largestKeyPeak(a, doubleKeys), referencePeak(x), doubleKeys);
        if (build & 2)
            expectPeak(largestKeyPeak(b, doubleKeys), referencePeak(y), doubleKeys);
    }
}

TEST(ChannelKernels, AccumulateKeepsTheInputsPeak)
{
    for (const auto& [tableName, table] : availableTables())
        for (const char* kind : {"signal", "silence", "NaN", "NaN last"})
            for (const size_t n : {size_t{5}, size_t{24}, size_t{29}, size_t{64}, size_t{77}}) {
                SCOPED_TRACE(std::string(tableName) + ", " + kind + ", n " + std::to_string(n));
                checkAccumulate<float>(*table, kind, n);
                checkAccumulate<double>(*table, kind, n);
            }
}

} // namespace
} // namespace kestravel::plugins::test
