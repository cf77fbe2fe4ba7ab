#include "tools/OggVorbisEncoder.h"

#include <vorbis/vorbisenc.h>

// libvorbisenc's and libogg's structures, set up step by step and cleared in the reverse order of
// that set-up whatever happens (the flags say how far it got).
struct OggVorbisEncoder::State {
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    ogg_stream_state stream{};
    bool dspReady = false, blockReady = false, streamReady = false;

    State() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~State() {
        if (streamReady) ogg_stream_clear(&stream);
        if (blockReady) vorbis_block_clear(&block);
        if (dspReady) vorbis_dsp_clear(&dsp);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
};

namespace {

void send(const OggVorbisEncoder::PageSink& sink, const ogg_page& page) {
    sink(page.header, static_cast<size_t>(page.header_len));
    sink(page.body, static_cast<size_t>(page.body_len));
}

} // namespace

OggVorbisEncoder::OggVorbisEncoder() : state_(std::make_unique<State>()) {}
OggVorbisEncoder::~OggVorbisEncoder() = default;

bool OggVorbisEncoder::start(int channels, long rate, float quality, const std::vector<std::string>& comments,
                             PageSink sink, std::string& error, long serial) {
    State& e = *state_;
    if (!(quality >= -0.1f && quality <= 1.0f)) {
        error = "quality " + std::to_string(quality) + " is outside libvorbisenc's range -0.1 .. 1.0";
        return false;
    }
    if (vorbis_encode_init_vbr(&e.info, channels, rate, quality) != 0) {
        error = "libvorbisenc cannot encode " + std::to_string(channels) + " channels at " +
                std::to_string(rate) + " Hz at quality " + std::to_string(quality);
        return false;
    }
    for (const std::string& c : comments)
        vorbis_comment_add(&e.comment, c.c_str());
    if (vorbis_analysis_init(&e.dsp, &e.info) != 0) {
        error = "libvorbisenc cannot start its analysis";
        return false;
    }
    e.dspReady = true;
    vorbis_block_init(&e.dsp, &e.block);
    e.blockReady = true;
    ogg_stream_init(&e.stream, static_cast<int>(serial));
    e.streamReady = true;
    sink_ = std::move(sink);

    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&e.dsp, &e.comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&e.stream, &header);
    ogg_stream_packetin(&e.stream, &commentHeader);
    ogg_stream_packetin(&e.stream, &codeHeader);
    ogg_page page;
    while (ogg_stream_flush(&e.stream, &page) != 0) {
        send(sink_, page);
    }
    return true;
}

float** OggVorbisEncoder::buffer(int frames) {
    return vorbis_analysis_buffer(&state_->dsp, frames);
}

void OggVorbisEncoder::wrote(int frames) {
    if (frames <= 0) return; // only finish() ends the stream
    vorbis_analysis_wrote(&state_->dsp, frames);
    writePages();
}

void OggVorbisEncoder::finish() {
    if (ended_ || !state_->streamReady) return;
    vorbis_analysis_wrote(&state_->dsp, 0);
    writePages();
    if (!ended_) {
        // The last packet is in; whatever the stream still holds goes out now.
        ogg_page page;
        while (ogg_stream_flush(&state_->stream, &page) != 0) {
            send(sink_, page);
        }
        ended_ = true;
    }
}

void OggVorbisEncoder::writePages() {
    State& e = *state_;
    while (vorbis_analysis_blockout(&e.dsp, &e.block) == 1) {
        vorbis_analysis(&e.block, nullptr);
        vorbis_bitrate_addblock(&e.block);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&e.dsp, &packet) == 1) {
            ogg_stream_packetin(&e.stream, &packet);
            ogg_page page;
            while (ogg_stream_pageout(&e.stream, &page) != 0) {
                send(sink_, page);
                if (ogg_page_eos(&page)) ended_ = true;
            }
        }
    }
}
