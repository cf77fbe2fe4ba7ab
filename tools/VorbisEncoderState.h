// libvorbisenc's and libogg's encoder structures, set up by their user step by step and cleared in
// the reverse order of that set-up whatever happens (the flags say how far it got).
#pragma once

#include <vorbis/vorbisenc.h>

struct VorbisEncoderState {
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    ogg_stream_state stream{};
    bool dspReady = false, blockReady = false, streamReady = false;

    VorbisEncoderState() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~VorbisEncoderState() {
        if (streamReady) ogg_stream_clear(&stream);
        if (blockReady) vorbis_block_clear(&block);
        if (dspReady) vorbis_dsp_clear(&dsp);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    VorbisEncoderState(const VorbisEncoderState&) = delete;
    VorbisEncoderState& operator=(const VorbisEncoderState&) = delete;
};
