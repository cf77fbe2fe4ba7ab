#include "tests/platform/ToneFile.h"

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace {

void writePage(std::ofstream& out, const ogg_page& page) {
    out.write(reinterpret_cast<const char*>(page.header), page.header_len);
    out.write(reinterpret_cast<const char*>(page.body), page.body_len);
}

} // namespace

bool writeToneFile(const std::string& path, const ToneSpec& tone) {
    const double step = 2.0 * std::numbers::pi * tone.frequency / tone.rate;
    return writeVorbisFile(
        path, tone.rate, tone.channels, tone.frames,
        [&](int frame, int channel) {
            return static_cast<float>(0.5 * std::cos(step * (channel + 1) * frame + 0.3));
        },
        tone.serial);
}

bool writeVorbisFile(const std::string& path, int rate, int channels, int frames,
                     const std::function<float(int frame, int channel)>& sample, long serial) {
    ToneSpec tone;
    tone.rate = rate;
    tone.channels = channels;
    tone.frames = frames;
    tone.serial = serial;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, tone.channels, tone.rate, 0.4f) != 0) {
        vorbis_info_clear(&info);
        return false;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, static_cast<int>(tone.serial));

    std::ofstream out(path, std::ios::binary);
    ogg_packet identification, comments, codebooks;
    vorbis_analysis_headerout(&dsp, &comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&stream, &identification);
    ogg_stream_packetin(&stream, &comments);
    ogg_stream_packetin(&stream, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page))
        writePage(out, page);

    int written = 0;
    bool ended = false;
    while (!ended) {
        const int count = std::min(1024, tone.frames - written);
        if (count > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, count);
            for (int i = 0; i < count; ++i)
                for (int c = 0; c < tone.channels; ++c)
                    buffer[c][i] = sample(written + i, c);
            vorbis_analysis_wrote(&dsp, count);
            written += count;
        } else {
            vorbis_analysis_wrote(&dsp, 0); // end of stream
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page)) {
                    writePage(out, page);
                    if (ogg_page_eos(&page)) ended = true;
                }
            }
        }
        if (count <= 0 && !ended) {
            while (ogg_stream_flush(&stream, &page))
                writePage(out, page);
            ended = true;
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return static_cast<bool>(out);
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<int16_t> decodeReference(const std::string& path) {
    std::vector<int16_t> samples;
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) return samples;
    char buffer[4096];
    int link = 0;
    long bytes;
    const int bigEndian = std::endian::native == std::endian::big ? 1 : 0;
    while ((bytes = ov_read(&file, buffer, sizeof buffer, bigEndian, 2, 1, &link)) != 0) {
        if (bytes == OV_HOLE) continue;
        if (bytes < 0) break;
        const auto* data = reinterpret_cast<const int16_t*>(buffer);
        samples.insert(samples.end(), data, data + bytes / 2);
    }
    ov_clear(&file);
    return samples;
}
