#include "platform/SdlAudio.h"

#include "platform/SdlCounter.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

namespace platform {

namespace {
// Per thread, so that the main loop reading the position cannot overwrite the code of a play
// that just failed on the loader thread before that thread reports it.
thread_local int threadLastError = AudioOk;
} // namespace

struct SdlAudio::Stream {
    uint32_t handle = 0;
    bool loop = true;
    DecodedAudio audio;
};

SdlAudio::SdlAudio(SdlAudioOptions options)
    : options_(std::move(options)), clock_(options_.clock ? options_.clock : &performanceCounter()) {
    options_.bufferFrames = std::clamp(options_.bufferFrames, 64, 8192);
}

SdlAudio::~SdlAudio() {
    std::lock_guard lock(control_);
    closeDevice();
    if (audioInitialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

int SdlAudio::lastError() {
    return threadLastError;
}

int SdlAudio::deviceRate() const {
    return deviceRate_.load();
}

int SdlAudio::deviceChannels() const {
    return deviceChannels_.load();
}

void SdlAudio::audioCallback(void* user, uint8_t* out, int bytes) {
    auto* self = static_cast<SdlAudio*>(user);
    const int frameBytes =
        static_cast<int>(sizeof(int16_t)) * self->deviceChannels_.load(std::memory_order_relaxed);
    self->fill(reinterpret_cast<int16_t*>(out), bytes / frameBytes);
}

void SdlAudio::fill(int16_t* out, int frames) {
    const int64_t at = clock_->now();
    const int channels = deviceChannels_.load(std::memory_order_relaxed);
    const Stream* stream = current_;
    if (!stream) {
        std::memset(out, 0, static_cast<size_t>(frames) * channels * sizeof(int16_t));
        return;
    }
    const uint64_t length = stream->audio.frames();
    const int16_t* samples = stream->audio.samples.data();
    const uint64_t before = handed_;
    int done = 0;
    while (done < frames) {
        if (cursor_ >= length) {
            if (!stream->loop) break;
            cursor_ = 0; // the next frame follows in the same buffer: no gap at the loop point
        }
        const int count = static_cast<int>(std::min<uint64_t>(frames - done, length - cursor_));
        std::memcpy(out + static_cast<size_t>(done) * channels, samples + cursor_ * channels,
                    static_cast<size_t>(count) * channels * sizeof(int16_t));
        done += count;
        cursor_ += count;
        handed_ += count;
    }
    if (done < frames)
        std::memset(out + static_cast<size_t>(done) * channels, 0,
                    static_cast<size_t>(frames - done) * channels * sizeof(int16_t));

    AudioBlock block;
    block.stream = stream->handle;
    block.firstFrame = before;
    block.frames = static_cast<uint32_t>(done);
    block.at = at;
    block.rate = static_cast<uint32_t>(stream->audio.rate);
    block.loopFrames = length;
    block.loop = stream->loop;
    audioClock_.publish(block);
    if (options_.listener) options_.listener(stream->handle, before, static_cast<uint32_t>(done));
}

void SdlAudio::closeDevice() {
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_); // waits for the audio thread to finish
    device_ = 0;
    deviceRate_ = 0;
    deviceChannels_ = 0;
    current_ = nullptr;
    handed_ = cursor_ = 0;
    audioClock_.publish(AudioBlock{});
}

bool SdlAudio::openDevice(int rate, int channels) {
    if (device_ != 0 && deviceRate_ == rate && deviceChannels_ == channels) return true;
    closeDevice();
    if (!audioInitialised_) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            threadLastError = AudioNoDevice;
            return false;
        }
        audioInitialised_ = true;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = static_cast<Uint16>(options_.bufferFrames);
    wanted.callback = &SdlAudio::audioCallback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: the callback writes the decoded format and SDL converts for the
    // hardware, so the frames handed over are the stream's own and the clock counts them exactly.
    // deviceChannels_ is set before the device starts because the callback reads it.
    deviceRate_ = rate;
    deviceChannels_ = channels;
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) {
        deviceRate_ = 0;
        deviceChannels_ = 0;
        threadLastError = AudioNoDevice;
        return false;
    }
    device_ = device;
    SDL_PauseAudioDevice(device_, 0); // silence until a stream plays
    return true;
}

const SdlAudio::Stream* SdlAudio::findStream(uint32_t handle) {
    std::lock_guard lock(streamsMutex_);
    if (handle == 0 || handle > streams_.size()) return nullptr;
    return streams_[handle - 1].get();
}

uint32_t SdlAudio::createStream(const std::string& path, bool loop) {
    auto stream = std::make_unique<Stream>();
    stream->loop = loop;
    const int decoded = decodeVorbisFile(path, stream->audio);
    if (decoded != AudioOk) {
        threadLastError = decoded;
        return 0;
    }
    {
        std::lock_guard lock(control_);
        // A device of another format stays open until play switches to this stream.
        if (device_ == 0 && !openDevice(stream->audio.rate, stream->audio.channels)) return 0;
    }
    std::lock_guard lock(streamsMutex_);
    stream->handle = static_cast<uint32_t>(streams_.size() + 1);
    streams_.push_back(std::move(stream));
    streamCount_.store(static_cast<uint32_t>(streams_.size()));
    threadLastError = AudioOk;
    return streams_.back()->handle;
}

bool SdlAudio::play(uint32_t handle) {
    return playFrom(handle, 0.0);
}

bool SdlAudio::playFrom(uint32_t handle, double seconds) {
    const Stream* stream = findStream(handle);
    if (!stream) {
        threadLastError = AudioBadHandle;
        return false;
    }
    std::lock_guard lock(control_);
    if (!openDevice(stream->audio.rate, stream->audio.channels)) return false;
    // The device lock waits for a callback in progress; the next buffer starts the stream over.
    SDL_LockAudioDevice(device_);
    const uint64_t length = stream->audio.frames();
    uint64_t first = seconds > 0.0 ? static_cast<uint64_t>(seconds * stream->audio.rate) : 0;
    if (length > 0) first = stream->loop ? first % length : std::min(first, length);
    current_ = stream;
    handed_ = first;
    cursor_ = first;
    AudioBlock start;
    start.stream = stream->handle;
    start.at = clock_->now();
    start.rate = static_cast<uint32_t>(stream->audio.rate);
    start.loopFrames = stream->audio.frames();
    start.loop = stream->loop;
    start.firstFrame = first;
    audioClock_.publish(start); // no frames yet: position reads the start until the first buffer
    SDL_UnlockAudioDevice(device_);
    threadLastError = AudioOk;
    return true;
}

bool SdlAudio::stop(uint32_t handle) {
    const Stream* stream = findStream(handle);
    std::lock_guard lock(control_);
    if (!stream || !device_) return false;
    SDL_LockAudioDevice(device_);
    if (current_ == stream) current_ = nullptr;
    SDL_UnlockAudioDevice(device_);
    return true;
}

double SdlAudio::position(uint32_t handle) {
    if (handle == 0 || handle > streamCount_.load()) {
        threadLastError = AudioBadHandle;
        return -1.0;
    }
    threadLastError = AudioOk;
    const AudioBlock block = audioClock_.read();
    if (block.stream != handle) return 0.0;
    return heardSeconds(block, clock_->now(), clock_->frequency());
}

double SdlAudio::length(uint32_t handle) {
    const Stream* stream = findStream(handle);
    if (!stream || !stream->loop || stream->audio.rate <= 0) return 0.0;
    return static_cast<double>(stream->audio.frames()) / stream->audio.rate;
}

} // namespace platform
