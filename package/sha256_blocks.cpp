#include "package/sha256_blocks.h"

#include <cstring>

#if defined(__x86_64__) || defined(_M_X64)
#define ELVARA_X86_64 1
#include <immintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

#if defined(__GNUC__)
// Only this function may use the instructions; everything else runs on any x86-64.
#define ELVARA_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))
#else
#define ELVARA_SHA_TARGET
#endif

namespace elvara {

namespace {

alignas(16) constexpr std::uint32_t roundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t initialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

std::uint32_t rotateRight(std::uint32_t value, int bits) noexcept { return (value >> bits) | (value << (32 - bits)); }

void compressPortably(std::uint32_t state[8], const std::uint8_t* block, std::size_t count) noexcept
{
    for (; count > 0; --count, block += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
                   std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5],
                      g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
            const std::uint32_t choice = (e & f) ^ (~e & g);
            const std::uint32_t t1 = h + s1 + choice + roundConstants[i] + w[i];
            const std::uint32_t s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
            const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + s0 + majority;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

#if ELVARA_X86_64
// The state lives in two registers as ABEF and CDGH, the order the instructions want.
ELVARA_SHA_TARGET void compressWithShaExtensions(std::uint32_t state[8], const std::uint8_t* block,
                                                 std::size_t count) noexcept
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; count > 0; --count, block += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i w[4];
        for (int group = 0; group < 16; ++group) {
            __m128i& words = w[group % 4];
            if (group < 4) {
                words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * group)), byteSwap);
            } else {
                const __m128i& previous = w[(group - 1) % 4];
                const __m128i sum = _mm_add_epi32(_mm_sha256msg1_epu32(words, w[(group - 3) % 4]),
                                                  _mm_alignr_epi8(previous, w[(group - 2) % 4], 4));
                words = _mm_sha256msg2_epu32(sum, previous);
            }
            __m128i message =
                _mm_add_epi32(words, _mm_load_si128(reinterpret_cast<const __m128i*>(&roundConstants[4 * group])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
            message = _mm_shuffle_epi32(message, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, message);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), hgfe);
}
#endif

bool detectShaExtensions() noexcept
{
#if ELVARA_X86_64
    unsigned basic[4] = {}, extended[4] = {};
#if defined(_MSC_VER)
    int registers[4];
    __cpuid(registers, 0);
    if (registers[0] < 7) return false;
    __cpuid(registers, 1);
    basic[2] = static_cast<unsigned>(registers[2]);
    __cpuidex(registers, 7, 0);
    extended[1] = static_cast<unsigned>(registers[1]);
#else
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid(1, basic[0], basic[1], basic[2], basic[3]);
    __cpuid_count(7, 0, extended[0], extended[1], extended[2], extended[3]);
#endif
    const bool ssse3 = (basic[2] >> 9) & 1, sse41 = (basic[2] >> 19) & 1, sha = (extended[1] >> 29) & 1;
    return ssse3 && sse41 && sha;
#else
    return false;
#endif
}

} // namespace

bool processorHasShaExtensions() noexcept
{
    static const bool has = detectShaExtensions();
    return has;
}

Sha256Blocks::Sha256Blocks(Compressor compressor) noexcept
    : compressor_(compressor == Compressor::ShaExtensions && processorHasShaExtensions() ? compressor
                                                                                          : Compressor::Portable)
{
    std::memcpy(state_, initialState, sizeof state_);
}

Sha256Blocks::Compressor Sha256Blocks::fastest() noexcept
{
    return processorHasShaExtensions() ? Compressor::ShaExtensions : Compressor::Portable;
}

void Sha256Blocks::compress(const std::uint8_t* blocks, std::size_t count) noexcept
{
#if ELVARA_X86_64
    if (compressor_ == Compressor::ShaExtensions) return compressWithShaExtensions(state_, blocks, count);
#endif
    compressPortably(state_, blocks, count);
}

void Sha256Blocks::update(ByteView bytes)
{
    const std::uint8_t* data = bytes.bytes;
    std::size_t length = bytes.length;
    totalLength_ += length;
    if (pendingLength_ > 0) {
        const std::size_t taken = length < 64 - pendingLength_ ? length : 64 - pendingLength_;
        std::memcpy(pending_ + pendingLength_, data, taken);
        pendingLength_ += taken, data += taken, length -= taken;
        if (pendingLength_ < 64) return;
        compress(pending_, 1);
        pendingLength_ = 0;
    }
    compress(data, length / 64);
    data += length / 64 * 64;
    pendingLength_ = length % 64;
    if (pendingLength_ > 0) std::memcpy(pending_, data, pendingLength_);
}

Sha256Value Sha256Blocks::finish()
{
    const std::uint64_t bits = totalLength_ * 8;
    std::uint8_t tail[128] = {};
    std::memcpy(tail, pending_, pendingLength_);
    tail[pendingLength_] = 0x80;
    const std::size_t tailLength = pendingLength_ < 56 ? 64 : 128;
    for (int i = 0; i < 8; ++i) tail[tailLength - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    compress(tail, tailLength / 64);
    Sha256Value digest{};
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    return digest;
}

Sha256Value sha256Of(ByteView bytes, Sha256Blocks::Compressor compressor)
{
    Sha256Blocks stream(compressor);
    stream.update(bytes);
    return stream.finish();
}

} // namespace elvara
