#include "fileaudio/file_player.h"

#include "fileaudio/span_kernels.h"
#include "fileaudio/wav_source.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
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
        // A file filled to the part size streams: it joins its next part, or says it is missing.
        stream = probe.dataBytes > preloadLimitBytes || samples > preloadLimitBytes / 4 || probe.dataBytes == full;
    }
    if (!stream) {
        install(loadWav(path, preloadLimitBytes)); // exactly as files within the limit always loaded
        return;
    }
    PreloadedAudio audio;
    audio.stream = std::make_shared<FileStream>(path, streamOptions);
    audio.channels = audio.stream->channels();
    audio.sampleRate = audio.stream->sampleRate();
    audio.anchor = audio.stream->anchor();
    install(std::move(audio));
}

uint64_t FilePlayer::playableFrames(const PreloadedAudio& audio) noexcept
{
    return audio.stream ? audio.stream->frames() : audio.frames();
}

WaveformOverview FilePlayer::overview() const noexcept
{
    const PreloadedAudio& audio = latestAudio();
    WaveformOverview o = audio.stream ? audio.stream->overview() : audio.overview;
    o.anchored = audio.anchor.has_value();
    o.anchor = audio.anchor.value_or(0);
    return o;
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
    if (const uint64_t waits = stream.locateWaitFrames.load())
        text += "; locate waits " + std::to_string(waits);
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

} // namespace

void FilePlayer::render(float* const* rows, uint32_t channelCount, uint32_t frames, double hostRate,
                        int64_t clock) noexcept
{
    if (clock < 0) {
        // A timeline position before 0 (a host's pre-roll) plays nothing until 0.
        const auto before = static_cast<uint32_t>(std::min<uint64_t>(0 - static_cast<uint64_t>(clock), frames));
        silence(rows, channelCount, 0, before);
        std::array<float*, 64> later{};
        for (uint32_t j = 0; j < channelCount && j < later.size(); ++j)
            later[j] = rows[j] ? rows[j] + before : nullptr;
        if (before < frames)
            renderFromZero(later.data(), std::min<uint32_t>(channelCount, 64), frames - before, hostRate, 0);
        crossfade(rows, channelCount, frames);
        heardFrame.store(~uint64_t{0}, std::memory_order_relaxed);
        return;
    }
    renderFromZero(rows, channelCount, frames, hostRate, clock);
    crossfade(rows, channelCount, frames);
    // Where the playhead is: the frame the next block starts at, while the file sounds.
    uint64_t heard = ~uint64_t{0};
    const auto end = static_cast<uint64_t>(clock) + frames;
    const uint64_t start = playStart.load(std::memory_order_relaxed);
    if (playing.load(std::memory_order_relaxed) && end > start && hostRate > 0.0) {
        const double p = static_cast<double>(end - start) * current->sampleRate / hostRate +
                         static_cast<double>(fileStart.load(std::memory_order_relaxed));
        heard = p < static_cast<double>(playableFrames(*current)) ? static_cast<uint64_t>(p) : heard;
    }
    heardFrame.store(heard, std::memory_order_relaxed);
}

void FilePlayer::crossfade(float* const* rows, uint32_t channelCount, uint32_t frames) noexcept
{
    if (fadeDone >= kLocateFadeFrames)
        return;
    const uint32_t n = std::min(frames, kLocateFadeFrames - fadeDone);
    for (uint32_t j = 0; j < channelCount && j < 64; ++j) {
        if (!rows[j])
            continue;
        const float* from = fadeFrom.data() + j * kLocateFadeFrames;
        for (uint32_t i = 0; i < n; ++i) {
            const float g = static_cast<float>(fadeDone + i + 1) / static_cast<float>(kLocateFadeFrames + 1);
            rows[j][i] = rows[j][i] * g + from[fadeDone + i] * (1.0f - g);
        }
    }
    fadeDone += n;
}

void FilePlayer::renderFromZero(float* const* rows, uint32_t channelCount, uint32_t frames, double hostRate,
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
    // A stereo file's chunk whose frames, and the frames after them, all lie in one span.
    if (!kInterpolatesStereo || current->channels != 2 || channelCount < 2 || !rows[0] || !rows[1])
        return false;
    const auto f0 = static_cast<uint32_t>(p[0]);
    const auto fm = static_cast<uint32_t>(p[m - 1]);
    if (uint64_t{fm} + 1 >= fileFrames)
        return false; // the last frame repeats itself: the general path handles it
    FrameSpan span;
    if (spanAt(f0, span) != Span::kReady || fm >= span.first + span.count)
        return false;
    interpolateStereo(rows, channelCount, at, span, p, m);
    return true;
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
    if (state != Span::kMissing || !offline.load(std::memory_order_relaxed) || !stream.readerRunning())
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
    if (!current->stream)
        return;
    FileStream& stream = *current->stream;
    if (!stream.awaitingLocate()) {
        stream.underrunFrames.fetch_add(frames, std::memory_order_relaxed);
        return;
    }
    stream.locateWaitFrames.fetch_add(frames, std::memory_order_relaxed);
    fadeDone = 0; // the jump fades in (from silence) once its page arrives
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

void FilePlayer::pauseReading() noexcept
{
    for (PreloadedAudio* audio : {current, latest.load()})
        if (audio->stream)
            audio->stream->pauseReader();
}

void FilePlayer::resumeReading()
{
    for (PreloadedAudio* audio : {current, latest.load()})
        if (audio->stream)
            audio->stream->resumeReader();
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

void FilePlayer::startChasing(double hostRate) noexcept
{
    adoptPending(); // the file chosen last is the one placed
    // The anchor in host samples: with the rates equal, exactly the file's TimeReference.
    const PreloadedAudio& audio = *current;
    uint64_t at = 0;
    if (audio.anchor && hostRate > 0.0 && audio.sampleRate > 0) {
        const double scaled = static_cast<double>(*audio.anchor) * hostRate / audio.sampleRate;
        at = scaled >= 18446744073709549568.0 ? ~uint64_t{0} : static_cast<uint64_t>(std::llround(scaled));
    }
    startPlayback(at, 0);
}

void FilePlayer::locate(double hostRate, uint32_t channelCount, int64_t from) noexcept
{
    // Render what the old position would have played next, to fade out of; the stream's pages
    // there may be gone, so a streamed file fades in from silence instead.
    channelCount = std::min<uint32_t>(channelCount, 64);
    std::array<float*, 64> old{};
    for (uint32_t j = 0; j < channelCount; ++j)
        old[j] = fadeFrom.data() + j * kLocateFadeFrames;
    fadeDone = kLocateFadeFrames; // no fade while rendering the old frames
    if (current->stream)
        silence(old.data(), channelCount, 0, kLocateFadeFrames);
    else
        render(old.data(), channelCount, kLocateFadeFrames, hostRate, from);
    startChasing(hostRate);
    if (current->stream)
        current->stream->beginLocate();
    fadeDone = 0;
}

} // namespace kestravel::plugins
