#include "tools/OggVorbisWriter.h"
#include "tools/VorbisEncoderState.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

namespace {

void append(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

} // namespace

std::vector<uint8_t> encodeOggVorbis(const SongAudio& audio, float quality,
                                     const std::vector<std::string>& comments, std::string& error) {
    if (!(quality >= -0.1f && quality <= 1.0f)) {
        error = "quality " + std::to_string(quality) + " is outside libvorbisenc's range -0.1 .. 1.0";
        return {};
    }
    VorbisEncoderState e;
    if (vorbis_encode_init_vbr(&e.info, 2, audio.sampleRate, quality) != 0) {
        error = "libvorbisenc refuses stereo " + std::to_string(audio.sampleRate) + " Hz at quality " +
                std::to_string(quality);
        return {};
    }
    for (const std::string& c : comments)
        vorbis_comment_add(&e.comment, c.c_str());
    if (vorbis_analysis_init(&e.dsp, &e.info) != 0) {
        error = "libvorbisenc cannot start its analysis";
        return {};
    }
    e.dspReady = true;
    vorbis_block_init(&e.dsp, &e.block);
    e.blockReady = true;
    ogg_stream_init(&e.stream, 0x0141B5); // fixed, so that two runs give the same bytes
    e.streamReady = true;

    std::vector<uint8_t> out;
    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&e.dsp, &e.comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&e.stream, &header);
    ogg_stream_packetin(&e.stream, &commentHeader);
    ogg_stream_packetin(&e.stream, &codeHeader);
    ogg_page page;
    // The headers end on a page of their own, as players expect.
    while (ogg_stream_flush(&e.stream, &page) != 0)
        append(out, page);

    const size_t frames = std::min(audio.left.size(), audio.right.size());
    constexpr size_t Chunk = 4096;
    size_t at = 0;
    bool ended = false;
    while (!ended) {
        const size_t n = std::min(Chunk, frames - at);
        if (n == 0) {
            vorbis_analysis_wrote(&e.dsp, 0); // end of stream
        } else {
            float** buffer = vorbis_analysis_buffer(&e.dsp, static_cast<int>(n));
            std::copy_n(audio.left.begin() + static_cast<std::ptrdiff_t>(at), n, buffer[0]);
            std::copy_n(audio.right.begin() + static_cast<std::ptrdiff_t>(at), n, buffer[1]);
            vorbis_analysis_wrote(&e.dsp, static_cast<int>(n));
            at += n;
        }
        while (vorbis_analysis_blockout(&e.dsp, &e.block) == 1) {
            vorbis_analysis(&e.block, nullptr);
            vorbis_bitrate_addblock(&e.block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&e.dsp, &packet) == 1) {
                ogg_stream_packetin(&e.stream, &packet);
                while (ogg_stream_pageout(&e.stream, &page) != 0) {
                    append(out, page);
                    if (ogg_page_eos(&page)) ended = true;
                }
            }
        }
        if (n == 0 && !ended) {
            // The last packet is in; whatever the stream still holds goes out now.
            while (ogg_stream_flush(&e.stream, &page) != 0)
                append(out, page);
            ended = true;
        }
    }
    return out;
}
