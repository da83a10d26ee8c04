// Encodes Ogg Vorbis in memory, for the sound tests and the streaming benchmark (which loads the
// encoder's set-up call at run time, so it is passed in).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <vorbis/codec.h>

namespace tvtools {

using EncodeInitVbr = int (*)(vorbis_info*, long channels, long rate, float quality);

// The encoder's set-up call from libvorbisenc, loaded at run time for a program that does not link it
// (the engine does not); null where the library is not there, `why` then saying why. The library stays
// loaded for the process's life.
inline EncodeInitVbr LoadEncodeInitVbr(std::string& why) {
    void* lib = dlopen("libvorbisenc.so.2", RTLD_NOW);
    if (lib == nullptr) lib = dlopen("libvorbisenc.so", RTLD_NOW);
    const auto init = lib ? reinterpret_cast<EncodeInitVbr>(dlsym(lib, "vorbis_encode_init_vbr")) : nullptr;
    if (init == nullptr) {
        const char* error = dlerror();
        why = error ? error : "vorbis_encode_init_vbr not found";
    }
    return init;
}

// `sample(frame, channel)` gives each sample in [-1, 1], called frame by frame, channel by channel.
// The comments are "tag=value" texts (or any text). Empty when the encoder refuses the settings.
// Every stream gets a serial number of its own, made from its bytes: streams joined end to end stay
// links that a reader tells apart by their numbers too, and every build writes the same bytes.
template <class Sample>
std::string EncodeOggWith(EncodeInitVbr init, int channels, long rate, long frames,
                          const std::vector<std::string>& comments, float quality, Sample sample) {
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (init(&vi, channels, rate, quality) != 0) {
        vorbis_info_clear(&vi);
        return std::string();
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    for (const auto& c : comments) vorbis_comment_add(&vc, c.c_str());
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0);  // the number is set once the bytes are known
    std::string out;
    std::vector<std::size_t> starts;
    auto pages = [&](bool flush) {
        ogg_page og;
        while (flush ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og)) {
            starts.push_back(out.size());
            out.append(reinterpret_cast<const char*>(og.header), static_cast<size_t>(og.header_len));
            out.append(reinterpret_cast<const char*>(og.body), static_cast<size_t>(og.body_len));
        }
    };
    ogg_packet h1, h2, h3;
    vorbis_analysis_headerout(&vd, &vc, &h1, &h2, &h3);
    ogg_stream_packetin(&os, &h1);
    ogg_stream_packetin(&os, &h2);
    ogg_stream_packetin(&os, &h3);
    pages(true);
    long done = 0;
    bool eos = false;
    while (!eos) {
        const long n = std::min<long>(4096, frames - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (long i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c) buffer[c][i] = sample(done + i, c);
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            done += n;
        } else {
            vorbis_analysis_wrote(&vd, 0);
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                pages(false);
                eos = eos || op.e_o_s;
            }
        }
    }
    pages(true);
    std::uint32_t serial = 2166136261u;  // FNV-1a
    for (const char c : out) serial = (serial ^ static_cast<unsigned char>(c)) * 16777619u;
    for (const std::size_t at : starts) {
        ogg_page og;
        og.header = reinterpret_cast<unsigned char*>(&out[at]);
        og.header_len = 27 + og.header[26];
        og.body = og.header + og.header_len;
        og.body_len = 0;
        for (long i = 27; i < og.header_len; ++i) og.body_len += og.header[i];
        for (int i = 0; i < 4; ++i) og.header[14 + i] = static_cast<unsigned char>(serial >> (8 * i));
        ogg_page_checksum_set(&og);
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

}  // namespace tvtools
