// Decoding: file ranges read into memory, libsndfile reading from that memory
// (sf_open_virtual), channel mixing to what a voice needs, and the upload of
// decoded frames into OpenAL buffers.
#include "audio/sound_local.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace sound {

FileError read_file_range(const char* file, int64_t offset, int64_t length,
                          std::vector<unsigned char>& out) {
    FILE* f = file ? std::fopen(file, "rb") : nullptr;
    if (!f)
        return FileError::Open;
    FileError result = FileError::None;
    int64_t file_len = -1;
    if (fseeko(f, 0, SEEK_END) == 0)
        file_len = ftello(f);
    if (file_len < 0) {
        result = FileError::Read;
    } else {
        if (length < 1)
            length = file_len - offset;
        if (offset < 0 || length < 1) {
            result = FileError::Offset;
        } else {
            try {
                out.assign(size_t(length), 0);
            } catch (const std::bad_alloc&) {
                result = FileError::Memory;
            }
            if (result == FileError::None &&
                (fseeko(f, offset, SEEK_SET) != 0 ||
                 std::fread(out.data(), 1, out.size(), f) != out.size()))
                result = FileError::Read;
        }
    }
    std::fclose(f);
    if (result != FileError::None)
        out.clear();
    return result;
}

static sf_count_t mem_get_filelen(void* user) {
    return sf_count_t(static_cast<MemFile*>(user)->data.size());
}

static sf_count_t mem_seek(sf_count_t offset, int whence, void* user) {
    MemFile* m = static_cast<MemFile*>(user);
    sf_count_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? sf_count_t(m->data.size()) : 0;
    sf_count_t p = base + offset;
    if (p < 0 || p > sf_count_t(m->data.size()))
        return -1;
    m->pos = p;
    return p;
}

static sf_count_t mem_read(void* ptr, sf_count_t count, void* user) {
    MemFile* m = static_cast<MemFile*>(user);
    sf_count_t left = sf_count_t(m->data.size()) - m->pos;
    sf_count_t n = std::max<sf_count_t>(0, std::min(count, left));
    std::copy_n(m->data.data() + m->pos, n, static_cast<unsigned char*>(ptr));
    m->pos += n;
    return n;
}

static sf_count_t mem_write(const void*, sf_count_t, void*) { return 0; }

static sf_count_t mem_tell(void* user) { return static_cast<MemFile*>(user)->pos; }

SNDFILE* open_mem_sndfile(MemFile* mem, SF_INFO* info) {
    static SF_VIRTUAL_IO io = {mem_get_filelen, mem_seek, mem_read, mem_write, mem_tell};
    *info = SF_INFO{};
    mem->pos = 0;
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, info, mem);
    if (sf && (info->channels < 1 || info->samplerate < 1 || info->frames < 0)) {
        sf_close(sf);
        return nullptr;
    }
    return sf;
}

int64_t read_frames_mixed(SNDFILE* sf, int in_channels, int out_channels, float* out,
                          int64_t frames, std::vector<float>& scratch) {
    if (in_channels == out_channels)
        return sf_readf_float(sf, out, frames);
    scratch.resize(size_t(frames) * in_channels);
    int64_t n = sf_readf_float(sf, scratch.data(), frames);
    for (int64_t i = 0; i < n; ++i) {
        const float* src = &scratch[size_t(i) * in_channels];
        if (out_channels == 1) {
            float sum = 0;
            for (int c = 0; c < in_channels; ++c)
                sum += src[c];
            out[i] = sum / float(in_channels);
        } else {
            out[i * 2] = src[0];
            out[i * 2 + 1] = in_channels > 1 ? src[1] : src[0];
        }
    }
    return n;
}

bool upload_buffer(ALuint buffer, const float* data, int64_t frames, int channels, int rate) {
    alGetError();
    size_t count = size_t(frames) * channels;
    if (g.has_float) {
        alBufferData(buffer, channels == 1 ? AL_FORMAT_MONO_FLOAT32 : AL_FORMAT_STEREO_FLOAT32,
                     data, ALsizei(count * sizeof(float)), rate);
    } else {
        std::vector<int16_t> pcm(count);
        for (size_t i = 0; i < count; ++i)
            pcm[i] = int16_t(std::clamp(data[i], -1.0f, 1.0f) * 32767.0f);
        alBufferData(buffer, channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16, pcm.data(),
                     ALsizei(count * sizeof(int16_t)), rate);
    }
    return alGetError() == AL_NO_ERROR;
}

} // namespace sound
