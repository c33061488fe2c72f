// Processing runs with flush-to-zero and denormals-are-zero and gives the host its own floating
// point control word back; subnormal samples cost nothing and are 0, except through a unity
// gain, which is a copy in both widths.

#include "engine_fixture.h"
#include "host_fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#define KESTRAVEL_TEST_MXCSR 1
#endif

namespace kestravel::plugins::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

#if defined(KESTRAVEL_TEST_MXCSR)

constexpr uint32_t kFlushBits = 0x8040;     // flush-to-zero and denormals-are-zero
constexpr uint32_t kDefaultWord = 0x1F80;   // all exceptions masked, round to nearest
constexpr uint32_t kTowardZero = 0x6000;    // rounding control: toward zero
constexpr uint32_t kPrecisionFlag = 0x0020; // a sticky exception flag

// Notes the control word the engine runs under when it first asks the host for its changes.
class WordWitness : public Uncounted<IParameterChanges> {
public:
    int32 PLUGIN_API getParameterCount() override
    {
        seen = _mm_getcsr();
        return 0;
    }
    IParamValueQueue* PLUGIN_API getParameterData(int32) override { return nullptr; }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID&, int32&) override { return nullptr; }
    uint32_t seen = 0;
};

TEST(FloatModes, ProcessFlushesAndGivesTheHostItsWordBack)
{
    struct Case {
        const char* name;
        uint32_t host;
        bool malformed;
    };
    const Case cases[] = {
        {"default word", kDefaultWord, false},
        {"host already flushes", kDefaultWord | kFlushBits, false},
        {"only flush-to-zero", kDefaultWord | 0x8000, false},
        {"rounding toward zero and a sticky flag", kDefaultWord | kTowardZero | kPrecisionFlag, false},
        {"malformed block", kDefaultWord, true},
    };
    const uint32_t saved = _mm_getcsr();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto core = makeCore(OUTPUT, 64);
        core->paramValues[kGainParam].store(0.3); // a real multiply that rounds
        HostBlock<double> host(64, {2}, {2});
        host.fillInput(0, 0, [](size_t i) { return 0.1 * static_cast<double>(i + 1) / 3.0; });
        WordWitness witness;
        host.data.inputParameterChanges = &witness;
        if (c.malformed)
            host.data.numSamples = 65;
        _mm_setcsr(c.host);
        const tresult result = processBlock(*core, host.data);
        const uint32_t after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(result, c.malformed ? kInvalidArgument : kResultOk);
        EXPECT_EQ(after, c.host) << std::hex << after;
        if (!c.malformed) {
            EXPECT_EQ(witness.seen & kFlushBits, kFlushBits) << std::hex << witness.seen;
            EXPECT_EQ(witness.seen & kTowardZero, c.host & kTowardZero) << "the host's rounding stays";
        }
    }
}

#endif

// Subnormal input: through a gain other than 1 it reads as 0 and the output is flagged silent;
// through unity it is copied bit for bit (also in place) and is not silent.
template <typename S>
void checkSubnormalInput(const std::string& name, ModuleKind kind, double gain, bool copied,
                         bool inPlace)
{
    SCOPED_TRACE(name + (std::is_same_v<S, float> ? " (32-bit)" : " (64-bit)"));
    auto core = makeCore(kind, 64);
    core->paramValues[kGainParam].store(gain);
    core->paramValues[kFaderGainParamBase].store(gain);
    HostBlock<S> host(64, {2}, {2});
    const S tiny = std::numeric_limits<S>::denorm_min();
    for (size_t ch = 0; ch < 2; ++ch)
        host.fillInput(0, ch, [&](size_t i) {
            return static_cast<S>(tiny * static_cast<S>(i + 1) * (ch == 0 ? S(1) : S(-3)));
        });
    std::vector<std::vector<S>> input(2);
    for (size_t ch = 0; ch < 2; ++ch)
        input[ch].assign(host.in(0, ch), host.in(0, ch) + 64);
    if (inPlace)
        for (size_t ch = 0; ch < 2; ++ch)
            host.setOutputPointer(0, ch, host.in(0, ch));
    ASSERT_EQ(processBlock(*core, host.data), kResultOk);
    for (size_t ch = 0; ch < 2; ++ch) {
        const S* out = inPlace ? host.in(0, ch) : host.out(0, ch);
        for (size_t i = 0; i < 64; ++i) {
            ASSERT_EQ(std::fpclassify(input[ch][i]), FP_SUBNORMAL);
            if (copied)
                ASSERT_TRUE(sameBits(out[i], input[ch][i])) << ch << " " << i;
            else
                ASSERT_EQ(out[i], S(0)) << ch << " " << i;
        }
    }
    EXPECT_EQ(host.flags(0), copied ? 0u : 3u);
}

TEST(FloatModes, SubnormalsAreZeroExceptThroughAUnityCopy)
{
    struct Case {
        const char* name;
        ModuleKind kind;
        double gain;
        bool copied;
    };
    const Case cases[] = {
        {"OUTPUT at 0 dB", OUTPUT, 15.0 / 17.0, true},
        {"OUTPUT at -6 dB", OUTPUT, 0.8235294117647058, false},
        {"OUTPUT at +12 dB", OUTPUT, 1.0, false},
        {"RECORDER, slot 1 at -90 dB", RECORDER, 0.0, true},
        {"FADER BANK strip at 0 dB", FADER_BANK, 15.0 / 17.0, true},
        {"FADER BANK strip at -30 dB", FADER_BANK, 0.5882352941176471, false},
    };
    for (const Case& c : cases)
        for (bool inPlace : {false, true}) {
            const std::string name = std::string(c.name) + (inPlace ? ", in place" : "");
            checkSubnormalInput<float>(name, c.kind, c.gain, c.copied, inPlace);
            checkSubnormalInput<double>(name, c.kind, c.gain, c.copied, inPlace);
        }
}

} // namespace
} // namespace kestravel::plugins::test
