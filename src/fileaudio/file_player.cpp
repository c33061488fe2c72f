#include "fileaudio/file_player.h"

#include "fileaudio/take_naming.h"
#include "fileaudio/wav_source.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

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
    bool stream = false;
    {
        const WavSource probe = openWavSource(path);
        const uint64_t samples = probe.dataBytes / (probe.bitsPerSample / 8u);
        const uint64_t full = streamOptions.partBytes / probe.blockAlign * probe.blockAlign;
        const auto partFollows = [&] {
            try {
                return pathExists(numberedSibling(path, u"-part", 2));
            } catch (const std::exception&) {
                return true; // the stream finds out what is there and says so
            }
        };
        stream = probe.dataBytes > preloadLimitBytes || samples > preloadLimitBytes / 4 ||
                 (probe.dataBytes == full && partFollows());
    }
    if (!stream) {
        install(loadWav(path, preloadLimitBytes)); // exactly as files within the limit always loaded
        return;
    }
    PreloadedAudio audio;
    audio.stream = std::make_shared<FileStream>(path, streamOptions);
    audio.channels = audio.stream->channels();
    audio.sampleRate = audio.stream->sampleRate();
    install(std::move(audio));
}

uint64_t FilePlayer::playableFrames(const PreloadedAudio& audio) noexcept
{
    return audio.stream ? audio.stream->frames() : audio.frames();
}

WaveformOverview FilePlayer::overview() const noexcept
{
    const PreloadedAudio& audio = latestAudio();
    return audio.stream ? audio.stream->overview() : audio.overview;
}

std::string FilePlayer::streamStatus() const
{
    const PreloadedAudio& audio = latestAudio();
    if (!audio.stream)
        return {};
    const FileStream& stream = *audio.stream;
    std::string text = " | from disk";
    if (stream.partCount() > 1)
        text += ", " + std::to_string(stream.partCount()) + " parts";
    text += "; underruns " + std::to_string(stream.underrunFrames.load());
    if (!stream.note().empty())
        text += " | " + stream.note();
    const std::string failure = stream.failure();
    if (!failure.empty())
        text += " | " + failure;
    return text;
}

void FilePlayer::install(PreloadedAudio&& audio)
{
    if (audio.channels == 0 || audio.sampleRate == 0 || audio.samples.size() % audio.channels != 0)
        throw std::runtime_error("Invalid audio data");
    if (!keepRetiredForTesting)
        freeRetired();
    // The overview is worked out here, on the loading thread, once, from every frame; a stream
    // works out its own in the background.
    if (!audio.stream)
        audio.overview = computeOverview(audio.samples.data(), audio.frames(), audio.channels, audio.sampleRate);
    auto* fresh = new PreloadedAudio(std::move(audio));
    audio = PreloadedAudio{};
    playing.exchange(false);
    totalFrames.exchange(playableFrames(*fresh));
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
    if (current->stream)
        current->stream->retire(); // its reader stops now; the controller side joins it
    retired[write % kRetireSlots] = current;
    current = taken;
    retiredWrite.store(write + 1, std::memory_order_release);
}

namespace {

// Output frames whose file positions are worked out together in the resampling path.
constexpr uint32_t kChunk = 256;
// Below this, a frame count converts to double exactly, and so do sums of two such counts.
constexpr uint64_t kExactFrames = uint64_t{1} << 52;
// Files the resampling path plays: frame positions fit 32 bits (over 12 hours at 48 kHz).
constexpr uint64_t kResampledFrames = uint64_t{1} << 31;

// Rows at or past the file's channel count repeat its last channel.
uint64_t channelOfRow(uint32_t row, uint64_t channels) noexcept
{
    return std::min<uint64_t>(row, channels - 1);
}

// The interpolation at weight 0, as the resampling arithmetic does it: a + (b - a) * 0 with b the
// next frame. It is a itself except for -0, a difference past the float range and subnormals
// under DAZ, so it is computed, not dropped; in registers it costs next to nothing.
inline float weightZero(float a, float b) noexcept
{
    return a + (b - a) * 0.0f;
}

// De-interleaves m frames into one row per channel (rows may be null), each sample through
// weightZero with its next frame, which lies in memory right after (frame m included).
void copyWeighted(float* const* out, uint32_t rowCount, const float* src, uint32_t channels,
                  uint32_t m) noexcept
{
    const uint32_t used = std::min(rowCount, channels);
    uint32_t c = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps();
    const auto weigh = [zero](__m128 a, __m128 b) { return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), zero)); };
    if (channels == 1 && out[0]) {
        float* r = out[0];
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4)
            _mm_storeu_ps(r + i, weigh(_mm_loadu_ps(src + i), _mm_loadu_ps(src + i + 1)));
        for (; i < m; ++i)
            r[i] = weightZero(src[i], src[i + 1]);
        return;
    }
    if (channels == 2 && used == 2 && out[0] && out[1]) {
        float* r0 = out[0];
        float* r1 = out[1];
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4) {
            const float* f = src + 2 * i;
            const __m128 w0 = weigh(_mm_loadu_ps(f), _mm_loadu_ps(f + 2));
            const __m128 w1 = weigh(_mm_loadu_ps(f + 4), _mm_loadu_ps(f + 6));
            _mm_storeu_ps(r0 + i, _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(r1 + i, _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(3, 1, 3, 1)));
        }
        for (; i < m; ++i) {
            r0[i] = weightZero(src[2 * i], src[2 * i + 2]);
            r1[i] = weightZero(src[2 * i + 1], src[2 * i + 3]);
        }
        return;
    }
    // Four channels by four frames at a time, weighed while still interleaved, then transposed.
    for (; c + 4 <= used; c += 4) {
        float* r[4] = {out[c], out[c + 1], out[c + 2], out[c + 3]};
        if (!r[0] || !r[1] || !r[2] || !r[3])
            break;
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4) {
            const float* f = src + size_t{i} * channels + c;
            __m128 v[5];
            for (uint32_t q = 0; q < 5; ++q)
                v[q] = _mm_loadu_ps(f + q * size_t{channels});
            for (uint32_t q = 0; q < 4; ++q)
                v[q] = weigh(v[q], v[q + 1]);
            _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]);
            for (uint32_t q = 0; q < 4; ++q)
                _mm_storeu_ps(r[q] + i, v[q]);
        }
        for (; i < m; ++i) {
            const float* f = src + size_t{i} * channels + c;
            for (uint32_t q = 0; q < 4; ++q)
                r[q][i] = weightZero(f[q], f[q + channels]);
        }
    }
#endif
    for (; c < used; ++c) {
        float* r = out[c];
        if (!r)
            continue;
        const float* s = src + c;
        for (uint32_t i = 0; i < m; ++i)
            r[i] = weightZero(s[size_t{i} * channels], s[size_t{i + 1} * channels]);
    }
}

} // namespace

void FilePlayer::copySpan(float* const* rows, uint32_t rowCount, uint32_t at, const FrameSpan& span,
                          uint64_t f, uint32_t m, uint64_t fileFrames) noexcept
{
    const uint64_t channels = span.channels;
    const float* src = span.data + (f - span.first) * channels;
    const uint32_t used = static_cast<uint32_t>(std::min<uint64_t>(rowCount, channels));
    float* direct[64];
    for (uint32_t j = 0; j < used; ++j)
        direct[j] = rows[j] ? rows[j] + at : nullptr;
    // The file's last frame is its own next one; every other next frame follows in memory.
    const bool atEnd = f + m == fileFrames;
    const uint32_t inner = atEnd ? m - 1 : m;
    copyWeighted(direct, used, src, span.channels, inner);
    for (uint32_t j = 0; j < rowCount; ++j) {
        if (!rows[j])
            continue;
        const uint64_t c = channelOfRow(j, channels);
        float* out = rows[j] + at;
        if (j >= used) { // repeats the last channel
            if (rows[used - 1])
                std::memcpy(out, rows[used - 1] + at, inner * sizeof(float));
            else
                for (uint32_t i = 0; i < inner; ++i)
                    out[i] = weightZero(src[i * channels + c], src[(i + 1) * channels + c]);
        }
        if (atEnd) {
            const float last = src[(m - 1) * channels + c];
            out[m - 1] = weightZero(last, last);
        }
    }
}

void FilePlayer::interpolateSpan(float* const* rows, uint32_t rowCount, uint32_t at,
                                 const FrameSpan& span, const uint32_t* a, const uint32_t* b,
                                 const float* u, uint32_t m) noexcept
{
    const uint32_t channels = span.channels;
    uint32_t j = 0;
#if defined(__SSE2__)
    // Four channels of four output frames at a time: frame-wise loads of both neighbours, the
    // same float arithmetic lane by lane, a transpose into the rows.
    const uint32_t used = std::min(rowCount, channels);
    for (; j + 4 <= used; j += 4) {
        float* r0 = rows[j];
        float* r1 = rows[j + 1];
        float* r2 = rows[j + 2];
        float* r3 = rows[j + 3];
        if (!r0 || !r1 || !r2 || !r3)
            break;
        r0 += at;
        r1 += at;
        r2 += at;
        r3 += at;
        const float* s = span.data + j;
        uint32_t i = 0;
        __m128 v[4];
        for (; i + 4 <= m; i += 4) {
            for (uint32_t q = 0; q < 4; ++q) {
                const __m128 x = _mm_loadu_ps(s + a[i + q]);
                const __m128 y = _mm_loadu_ps(s + b[i + q]);
                v[q] = _mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(y, x), _mm_set1_ps(u[i + q])));
            }
            _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]);
            _mm_storeu_ps(r0 + i, v[0]);
            _mm_storeu_ps(r1 + i, v[1]);
            _mm_storeu_ps(r2 + i, v[2]);
            _mm_storeu_ps(r3 + i, v[3]);
        }
        float* r[4] = {r0, r1, r2, r3};
        for (; i < m; ++i)
            for (uint32_t q = 0; q < 4; ++q) {
                const float x = s[a[i] + q];
                const float y = s[b[i] + q];
                r[q][i] = x + (y - x) * u[i];
            }
    }
    if (channels == 2 && j == 0 && rowCount >= 2 && rows[0] && rows[1]) {
        // Stereo: both channels of two output frames in one vector.
        float* r0 = rows[0] + at;
        float* r1 = rows[1] + at;
        const float* s = span.data;
        uint32_t i = 0;
        for (; i + 4 <= m; i += 4) {
            __m128 w[2];
            for (uint32_t h = 0; h < 2; ++h) {
                const uint32_t q = i + 2 * h;
                const auto* xa = reinterpret_cast<const __m64*>(s + a[q]);
                const auto* xb = reinterpret_cast<const __m64*>(s + a[q + 1]);
                const auto* ya = reinterpret_cast<const __m64*>(s + b[q]);
                const auto* yb = reinterpret_cast<const __m64*>(s + b[q + 1]);
                const __m128 x = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), xa), xb);
                const __m128 y = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), ya), yb);
                const __m128 k = _mm_set_ps(u[q + 1], u[q + 1], u[q], u[q]);
                w[h] = _mm_add_ps(x, _mm_mul_ps(_mm_sub_ps(y, x), k));
            }
            _mm_storeu_ps(r0 + i, _mm_shuffle_ps(w[0], w[1], _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(r1 + i, _mm_shuffle_ps(w[0], w[1], _MM_SHUFFLE(3, 1, 3, 1)));
        }
        for (; i < m; ++i)
            for (uint32_t c = 0; c < 2; ++c) {
                const float x = s[a[i] + c];
                const float y = s[b[i] + c];
                (c == 0 ? r0 : r1)[i] = x + (y - x) * u[i];
            }
        j = 2;
    }
#endif
    for (; j < rowCount; ++j) {
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
    const PreloadedAudio& audio = *current;
    const uint64_t fileFrames = playableFrames(audio);
    if (!playing.load() || !(hostRate > 0.0) || audio.channels == 0 || fileFrames == 0) {
        silence(rows, channelCount, 0, frames);
        return;
    }

    const uint64_t start = playStart.load();
    const uint64_t first = fileStart.load();
    const double step = static_cast<double>(audio.sampleRate) / hostRate;
    const auto t0 = static_cast<uint64_t>(clock);
    // A timeline that wraps inside the block, positions too far out to add up exactly in
    // double, or a resampled file too long for 32-bit frames take the sample-by-sample path.
    const uint64_t played = t0 + frames > start ? t0 + frames - start : 0; // by the block's end
    if (t0 > ~uint64_t{0} - frames || first >= kExactFrames || played >= kExactFrames ||
        (step != 1.0 && fileFrames >= kResampledFrames)) {
        silence(rows, channelCount, 0, frames);
        renderEachSample(rows, channelCount, frames, step, t0, start, first);
        return;
    }
    // Frames before the start stay silent; every played frame is written below.
    const uint32_t i = t0 >= start ? 0 : static_cast<uint32_t>(std::min<uint64_t>(start - t0, frames));
    silence(rows, channelCount, 0, i);
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
    const uint64_t fileFrames = playableFrames(*current);
    while (i < frames) {
        FrameSpan span;
        const Span state = f < fileFrames ? spanAt(f, span) : Span::kFailed;
        if (state == Span::kFailed) {
            silence(rows, channelCount, i, frames);
            endAt(t0 + i);
            return;
        }
        const auto m = static_cast<uint32_t>(std::min<uint64_t>(frames - i, span.first + span.count - f));
        if (state == Span::kMissing) {
            silence(rows, channelCount, i, i + m);
            underrun(m);
        } else {
            copySpan(rows, channelCount, i, span, f, m, fileFrames);
        }
        i += m;
        f += m;
    }
}

void FilePlayer::playResampled(float* const* rows, uint32_t channelCount, uint32_t frames, uint32_t i,
                               uint64_t k, double step, uint64_t first, uint64_t t0) noexcept
{
    const uint64_t fileFrames = playableFrames(*current);
    const auto end = static_cast<double>(fileFrames);
    const auto from = static_cast<double>(first);
    double p[kChunk];
    uint32_t f[kChunk];
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
        if (m > 0 && stereoInOneSpan(rows, channelCount, i, p, m, fileFrames)) {
            i += m;
            k += m;
            if (ends) {
                silence(rows, channelCount, i, frames);
                endAt(t0 + i);
                return;
            }
            continue;
        }
        // Every position lies below 2^31 (the caller sees to it): truncating in 32 bits gives
        // the same frame as in 64.
        uint32_t q = 0;
#if defined(__SSE2__)
        for (; q + 2 <= m; q += 2) {
            const __m128d x = _mm_loadu_pd(p + q);
            const __m128i whole = _mm_cvttpd_epi32(x);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(f + q), whole);
            _mm_storel_pi(reinterpret_cast<__m64*>(u + q), _mm_cvtpd_ps(_mm_sub_pd(x, _mm_cvtepi32_pd(whole))));
        }
#endif
        for (; q < m; ++q) {
            f[q] = static_cast<uint32_t>(p[q]);
            u[q] = static_cast<float>(p[q] - static_cast<double>(f[q]));
        }
        q = 0;
        while (q < m) {
            FrameSpan span;
            const Span state = spanAt(f[q], span);
            if (state == Span::kFailed) {
                silence(rows, channelCount, i + q, frames);
                endAt(t0 + i + q);
                return;
            }
            // Output frames whose file frame lies in this span (its next frame does too).
            const uint64_t last = span.first + span.count;
            uint32_t r = m;
            if (!(f[m - 1] < last)) { // frames only grow: most chunks lie in one span
                r = q;
                while (r < m && f[r] < last)
                    ++r;
            }
            if (state == Span::kMissing) {
                silence(rows, channelCount, i + q, i + r);
                underrun(r - q);
                q = r;
                continue;
            }
            const uint32_t channels = span.channels;
            const auto base = static_cast<uint32_t>(span.first); // spans hold under 2^32 samples
            for (uint32_t x = q; x < r; ++x) {
                a[x - q] = (f[x] - base) * channels;
                b[x - q] = a[x - q] + channels;
            }
            // The last frame is its own next one.
            for (uint32_t x = r; x > q && uint64_t{f[x - 1]} + 1 >= fileFrames; --x)
                b[x - 1 - q] = a[x - 1 - q];
            interpolateSpan(rows, channelCount, i + q, span, a, b, u + q, r - q);
            q = r;
        }
        if (ends) {
            silence(rows, channelCount, i + m, frames);
            endAt(t0 + i + m);
            return;
        }
        i += m;
        k += m;
    }
}

bool FilePlayer::stereoInOneSpan(float* const* rows, uint32_t channelCount, uint32_t at, const double* p,
                                 uint32_t m, uint64_t fileFrames) noexcept
{
#if defined(__SSE2__)
    // A stereo file's chunk whose frames, and the frames after them, all lie in one span: the
    // frame, its weight, both neighbours and the interpolation in one pass, two frames a step.
    if (current->channels != 2 || channelCount < 2 || !rows[0] || !rows[1])
        return false;
    const auto f0 = static_cast<uint32_t>(p[0]);
    const auto fm = static_cast<uint32_t>(p[m - 1]);
    if (uint64_t{fm} + 1 >= fileFrames)
        return false; // the last frame repeats itself: the general path handles it
    FrameSpan span;
    if (spanAt(f0, span) != Span::kReady || fm >= span.first + span.count)
        return false;
    const float* s = span.data;
    const __m128i base = _mm_set1_epi32(static_cast<int32_t>(span.first));
    float* r0 = rows[0] + at;
    float* r1 = rows[1] + at;
    uint32_t q = 0;
    for (; q + 4 <= m; q += 4) {
        __m128 w[2];
        for (uint32_t h = 0; h < 2; ++h) {
            const __m128d x = _mm_loadu_pd(p + q + 2 * h);
            const __m128i whole = _mm_cvttpd_epi32(x);
            const __m128 weight = _mm_cvtpd_ps(_mm_sub_pd(x, _mm_cvtepi32_pd(whole)));
            const __m128i offset = _mm_slli_epi32(_mm_sub_epi32(whole, base), 1);
            const float* a0 = s + _mm_cvtsi128_si32(offset);
            const float* a1 = s + _mm_cvtsi128_si32(_mm_srli_si128(offset, 4));
            const __m128 xa = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(a0)),
                                           reinterpret_cast<const __m64*>(a1));
            const __m128 ya = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(a0 + 2)),
                                           reinterpret_cast<const __m64*>(a1 + 2));
            w[h] = _mm_add_ps(xa, _mm_mul_ps(_mm_sub_ps(ya, xa), _mm_unpacklo_ps(weight, weight)));
        }
        _mm_storeu_ps(r0 + q, _mm_shuffle_ps(w[0], w[1], _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(r1 + q, _mm_shuffle_ps(w[0], w[1], _MM_SHUFFLE(3, 1, 3, 1)));
    }
    for (; q < m; ++q) {
        const auto f = static_cast<uint32_t>(p[q]);
        const auto u = static_cast<float>(p[q] - static_cast<double>(f));
        const float* a = s + (f - span.first) * 2;
        r0[q] = a[0] + (a[2] - a[0]) * u;
        r1[q] = a[1] + (a[3] - a[1]) * u;
    }
    for (uint32_t j = 2; j < channelCount; ++j) // more rows repeat the last channel
        if (rows[j])
            std::memcpy(rows[j] + at, r1, m * sizeof(float));
    return true;
#else
    (void)rows, (void)channelCount, (void)at, (void)p, (void)m, (void)fileFrames;
    return false;
#endif
}

FilePlayer::Span FilePlayer::spanAt(uint64_t f, FrameSpan& span) noexcept
{
    const PreloadedAudio& audio = *current;
    if (!audio.stream) {
        span = FrameSpan{audio.samples.data(), 0, audio.frames(), audio.channels};
        return Span::kReady;
    }
    FileStream& stream = *audio.stream;
    Span state = stream.span(f, span);
    if (state != Span::kMissing || !offline.load(std::memory_order_relaxed))
        return state;
    // A bounce faster than real time waits for the disk instead of playing silence.
    const auto limit = std::chrono::steady_clock::now() +
                       std::chrono::duration<double>(stream.offlineWaitSeconds());
    while (state == Span::kMissing && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        state = stream.span(f, span);
    }
    return state;
}

void FilePlayer::underrun(uint64_t frames) noexcept
{
    if (current->stream)
        current->stream->underrunFrames.fetch_add(frames, std::memory_order_relaxed);
}

void FilePlayer::silence(float* const* rows, uint32_t channelCount, uint32_t from, uint32_t to) noexcept
{
    for (uint32_t j = 0; j < channelCount; ++j)
        if (rows[j])
            std::fill(rows[j] + from, rows[j] + to, 0.0f);
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
    const uint64_t fileFrames = playableFrames(audio);
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
        FrameSpan span;
        const Span state = spanAt(f, span);
        if (state == Span::kFailed) {
            endAt(t);
            return;
        }
        if (state == Span::kMissing) {
            underrun(1);
            continue;
        }
        const float* x = span.data + (f - span.first) * fileChannels;
        const float* y = span.data + (g - span.first) * fileChannels;
        for (uint32_t j = 0; j < channelCount; ++j) {
            if (!rows[j])
                continue;
            const uint64_t c = std::min<uint64_t>(j, fileChannels - 1);
            const float a = x[c];
            const float b = y[c];
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
