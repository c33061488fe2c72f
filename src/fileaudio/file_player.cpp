#include "fileaudio/file_player.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif
#include <stdexcept>
#include <utility>

namespace kestravel::plugins {

FilePlayer::FilePlayer() : current(new PreloadedAudio), latest(current) {}

FilePlayer::~FilePlayer()
{
    playing.exchange(false);
    delete pending.exchange(nullptr);
    freeRetired();
    delete current;
}

void FilePlayer::freeRetired() noexcept
{
    // Only slots below the audio thread's published write index are complete.
    const uint32_t end = retiredWrite.load(std::memory_order_acquire);
    for (uint32_t i = retiredRead.load(std::memory_order_relaxed); i != end; ++i) {
        auto& slot = retired[i % kRetireSlots];
        delete slot;
        slot = nullptr;
    }
    retiredRead.store(end, std::memory_order_release);
}

void FilePlayer::load(const std::u16string& path)
{
    install(loadWav(path, kPreloadLimitBytes));
}

void FilePlayer::install(PreloadedAudio&& audio)
{
    if (audio.channels == 0 || audio.sampleRate == 0 || audio.samples.size() % audio.channels != 0)
        throw std::runtime_error("Invalid audio data");
    if (!keepRetiredForTesting)
        freeRetired();
    auto* fresh = new PreloadedAudio(std::move(audio));
    audio = PreloadedAudio{};
    playing.exchange(false);
    totalFrames.exchange(fresh->frames());
    latest.exchange(fresh); // the previous one is the audio thread's or already retired
    // A file the audio thread never took is ours to free.
    delete pending.exchange(fresh, std::memory_order_acq_rel);
}

void FilePlayer::adoptPending() noexcept
{
    const uint32_t write = retiredWrite.load(std::memory_order_relaxed);
    if (write - retiredRead.load(std::memory_order_acquire) >= kRetireSlots)
        return; // ring full: the pending file waits for the controller to free some
    PreloadedAudio* taken = pending.exchange(nullptr, std::memory_order_acq_rel);
    if (!taken)
        return;
    retired[write % kRetireSlots] = current;
    current = taken;
    retiredWrite.store(write + 1, std::memory_order_release);
}

namespace {

// Output frames whose file positions are worked out together in the resampling path.
constexpr uint32_t kChunk = 256;
// Below this, a frame count converts to double exactly, and so do sums of two such counts.
constexpr uint64_t kExactFrames = uint64_t{1} << 52;

// Rows at or past the file's channel count repeat its last channel.
uint64_t channelOfRow(uint32_t row, uint64_t channels) noexcept
{
    return std::min<uint64_t>(row, channels - 1);
}

// The interpolation at weight 0, as the resampling arithmetic does it: a + (b - a) * 0. It is a
// itself except for -0, a difference past the float range and subnormals under DAZ, so it runs
// as a second pass over the copied row instead of being dropped.
void weightZero(float* out, uint32_t m, float next) noexcept
{
    for (uint32_t i = 0; i + 1 < m; ++i)
        out[i] = out[i] + (out[i + 1] - out[i]) * 0.0f;
    out[m - 1] = out[m - 1] + (next - out[m - 1]) * 0.0f;
}

// Copies m frames of interleaved channels into one row per channel (rows may be null).
void deinterleave(float* const* out, uint32_t rowCount, const float* src, uint32_t channels,
                  uint32_t m) noexcept
{
    const uint32_t used = std::min(rowCount, channels);
    if (channels == 1) {
        if (out[0])
            std::memcpy(out[0], src, m * sizeof(float));
        return;
    }
    if (channels == 2 && used == 2 && out[0] && out[1]) {
        float* a = out[0];
        float* b = out[1];
        for (uint32_t i = 0; i < m; ++i) {
            a[i] = src[2 * i];
            b[i] = src[2 * i + 1];
        }
        return;
    }
    uint32_t c = 0;
#if defined(__SSE2__)
    // Four channels by four frames at a time: a transpose in registers.
    for (; c + 4 <= used; c += 4) {
        float* r0 = out[c];
        float* r1 = out[c + 1];
        float* r2 = out[c + 2];
        float* r3 = out[c + 3];
        if (!r0 || !r1 || !r2 || !r3)
            break;
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4) {
            const float* f = src + size_t{i} * channels + c;
            __m128 v0 = _mm_loadu_ps(f);
            __m128 v1 = _mm_loadu_ps(f + channels);
            __m128 v2 = _mm_loadu_ps(f + 2 * size_t{channels});
            __m128 v3 = _mm_loadu_ps(f + 3 * size_t{channels});
            _MM_TRANSPOSE4_PS(v0, v1, v2, v3);
            _mm_storeu_ps(r0 + i, v0);
            _mm_storeu_ps(r1 + i, v1);
            _mm_storeu_ps(r2 + i, v2);
            _mm_storeu_ps(r3 + i, v3);
        }
        for (; i < m; ++i) {
            const float* f = src + size_t{i} * channels + c;
            r0[i] = f[0];
            r1[i] = f[1];
            r2[i] = f[2];
            r3[i] = f[3];
        }
    }
#endif
    for (; c < used; ++c) {
        float* r = out[c];
        if (!r)
            continue;
        const float* s = src + c;
        for (uint32_t i = 0; i < m; ++i)
            r[i] = s[size_t{i} * channels];
    }
}

} // namespace

void FilePlayer::copySpan(float* const* rows, uint32_t rowCount, uint32_t at, const FrameSpan& span,
                          uint64_t f, uint32_t m, uint64_t fileFrames) noexcept
{
    const uint64_t channels = span.channels;
    const float* src = span.data + (f - span.first) * channels;
    // A row that repeats the last channel is filled from the row that holds it, or read directly.
    float* direct[64];
    const uint32_t used = static_cast<uint32_t>(std::min<uint64_t>(rowCount, channels));
    for (uint32_t j = 0; j < used; ++j)
        direct[j] = rows[j] ? rows[j] + at : nullptr;
    deinterleave(direct, used, src, span.channels, m);
    const uint64_t g = std::min(f + m, fileFrames - 1); // the frame after the last one
    const float* next = span.data + (g - span.first) * channels;
    for (uint32_t j = 0; j < rowCount; ++j) {
        if (!rows[j])
            continue;
        const uint64_t c = channelOfRow(j, channels);
        float* out = rows[j] + at;
        if (j >= used) {
            const float* s = src + c;
            for (uint32_t i = 0; i < m; ++i)
                out[i] = s[size_t{i} * channels];
        }
        weightZero(out, m, next[c]);
    }
}

void FilePlayer::interpolateSpan(float* const* rows, uint32_t rowCount, uint32_t at,
                                 const FrameSpan& span, const uint32_t* a, const uint32_t* b,
                                 const float* u, uint32_t m) noexcept
{
    const uint64_t channels = span.channels;
    for (uint32_t j = 0; j < rowCount; ++j) {
        if (!rows[j])
            continue;
        const float* s = span.data + channelOfRow(j, channels);
        float* out = rows[j] + at;
        for (uint32_t i = 0; i < m; ++i) {
            const float x = s[a[i]];
            const float y = s[b[i]];
            out[i] = x + (y - x) * u[i];
        }
    }
}

void FilePlayer::render(float* const* rows, uint32_t channelCount, uint32_t frames, double hostRate,
                        int64_t clock) noexcept
{
    adoptPending();
    for (uint32_t j = 0; j < channelCount; ++j)
        if (rows[j])
            std::fill(rows[j], rows[j] + frames, 0.0f);

    const PreloadedAudio& audio = *current;
    const uint64_t fileFrames = audio.frames();
    if (!playing.load() || !(hostRate > 0.0) || audio.channels == 0 || fileFrames == 0)
        return;

    const uint64_t start = playStart.load();
    const uint64_t first = fileStart.load();
    const double step = static_cast<double>(audio.sampleRate) / hostRate;
    const auto t0 = static_cast<uint64_t>(clock);
    // A timeline that wraps inside the block, or positions too far out to add up exactly in
    // double, take the sample-by-sample path.
    const uint64_t played = t0 + frames > start ? t0 + frames - start : 0; // by the block's end
    if (t0 > ~uint64_t{0} - frames || first >= kExactFrames || played >= kExactFrames) {
        renderEachSample(rows, channelCount, frames, step, t0, start, first);
        return;
    }
    // Frames before the start stay silent.
    const uint32_t i = t0 >= start ? 0 : static_cast<uint32_t>(std::min<uint64_t>(start - t0, frames));
    if (i == frames)
        return;
    const uint64_t k = t0 + i - start; // frames played before output frame i
    if (step == 1.0)
        playSameRate(rows, channelCount, frames, i, first + k, t0);
    else
        playResampled(rows, channelCount, frames, i, k, step, first, t0);
}

void FilePlayer::playSameRate(float* const* rows, uint32_t channelCount, uint32_t frames, uint32_t i,
                              uint64_t f, uint64_t t0) noexcept
{
    // Positions are whole frames: the interpolation returns the frame itself.
    const uint64_t fileFrames = current->frames();
    while (i < frames) {
        FrameSpan span;
        if (f >= fileFrames || !spanAt(f, span)) {
            endAt(t0 + i);
            return;
        }
        const auto m = static_cast<uint32_t>(std::min<uint64_t>(frames - i, span.first + span.count - f));
        copySpan(rows, channelCount, i, span, f, m, fileFrames);
        i += m;
        f += m;
    }
}

void FilePlayer::playResampled(float* const* rows, uint32_t channelCount, uint32_t frames, uint32_t i,
                               uint64_t k, double step, uint64_t first, uint64_t t0) noexcept
{
    const uint64_t fileFrames = current->frames();
    const auto end = static_cast<double>(fileFrames);
    const auto from = static_cast<double>(first);
    double p[kChunk];
    uint64_t f[kChunk];
    uint32_t a[kChunk];
    uint32_t b[kChunk];
    float u[kChunk];
    while (i < frames) {
        uint32_t m = std::min(kChunk, frames - i);
        // The position of every output frame exactly as the per-sample formula has it: the
        // frame count converts exactly, so adding q to it first changes nothing.
        const auto kd = static_cast<double>(k);
        for (uint32_t q = 0; q < m; ++q)
            p[q] = (kd + static_cast<double>(q)) * step + from;
        // Positions only grow: the file runs out at the first one past its end, if any.
        bool ends = false;
        if (!(p[m - 1] < end)) {
            uint32_t q = 0;
            while (p[q] < end)
                ++q;
            m = q;
            ends = true;
        }
        for (uint32_t q = 0; q < m; ++q)
            f[q] = static_cast<uint64_t>(static_cast<int64_t>(p[q])); // p < 2^52 here
        for (uint32_t q = 0; q < m; ++q)
            u[q] = static_cast<float>(p[q] - static_cast<double>(f[q]));
        uint32_t q = 0;
        while (q < m) {
            FrameSpan span;
            if (!spanAt(f[q], span)) {
                endAt(t0 + i + q);
                return;
            }
            // Output frames whose file frame lies in this span (its next frame does too).
            const uint64_t last = span.first + span.count;
            uint32_t r = q;
            while (r < m && f[r] < last)
                ++r;
            const uint64_t channels = span.channels;
            for (uint32_t x = q; x < r; ++x) {
                const uint64_t g = std::min(f[x] + 1, fileFrames - 1);
                a[x - q] = static_cast<uint32_t>((f[x] - span.first) * channels);
                b[x - q] = static_cast<uint32_t>((g - span.first) * channels);
            }
            interpolateSpan(rows, channelCount, i + q, span, a, b, u + q, r - q);
            q = r;
        }
        if (ends) {
            endAt(t0 + i + m);
            return;
        }
        i += m;
        k += m;
    }
}

bool FilePlayer::spanAt(uint64_t f, FrameSpan& span) const noexcept
{
    const PreloadedAudio& audio = *current;
    span = FrameSpan{audio.samples.data(), 0, audio.frames(), audio.channels};
    return f < span.count;
}

void FilePlayer::endAt(uint64_t t) noexcept
{
    endPosition.exchange(t);
    playing.exchange(false);
}

void FilePlayer::renderEachSample(float* const* rows, uint32_t channelCount, uint32_t frames, double step,
                                  uint64_t t0, uint64_t start, uint64_t first) noexcept
{
    const PreloadedAudio& audio = *current;
    const uint64_t fileChannels = audio.channels;
    const uint64_t fileFrames = audio.frames();
    const float* s = audio.samples.data();
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t t = t0 + i;
        if (t < start)
            continue;
        const double p = static_cast<double>(t - start) * step + static_cast<double>(first);
        // Compared in double: a position far past the end may not fit a 64-bit frame index.
        if (!(p < static_cast<double>(fileFrames))) {
            endAt(t);
            return;
        }
        const auto f = static_cast<uint64_t>(p);
        const uint64_t g = std::min(f + 1, fileFrames - 1);
        const auto u = static_cast<float>(p - static_cast<double>(f));
        for (uint32_t j = 0; j < channelCount; ++j) {
            if (!rows[j])
                continue;
            const uint64_t c = std::min<uint64_t>(j, fileChannels - 1);
            const float a = s[f * fileChannels + c];
            const float b = s[g * fileChannels + c];
            rows[j][i] = a + (b - a) * u;
        }
    }
}

void FilePlayer::startPlayback(uint64_t position, uint64_t frame) noexcept
{
    const uint64_t total = totalFrames.load();
    fileStart.exchange(std::min(total, frame));
    playStart.exchange(position);
    endPosition.exchange(total > frame ? ~uint64_t{0} : position);
    playing.exchange(total > frame);
}

void FilePlayer::stopPlayback() noexcept
{
    playing.exchange(false);
}

} // namespace kestravel::plugins
