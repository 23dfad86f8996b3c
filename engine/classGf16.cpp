// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// GF(2^16) arithmetic: single elements over log and antilog tables, regions
// over kernels chosen at start-up by what the processor has.
//
// The kernels' layout: each run of 64 bytes holds 32 words, first their 32
// low bytes, then their 32 high bytes, so that a vector register holds one
// byte of many words and the product's low and high bytes come out in
// registers of their own. A region's end that is shorter than a run stays
// in the layout of the files and is worked on word by word.
//
// A product by a constant factor is linear over GF(2): the product of a word
// is the sum (XOR) of the factor's products with each of the word's set bits.
// The split-table kernels look up the sums for each 4-bit nibble of a word
// (`pshufb`, 16 entries per table); the GFNI kernels multiply each byte by
// an 8x8 bit matrix (`gf2p8affineqb`), one matrix for each pair of input and
// output byte of the word.
#include "classGf16.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define PARVOX_GF16_X86 1
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t FieldPolynomial = 0x1100B;
constexpr uint32_t Order = 65535;

struct TTables {
    std::array<uint16_t, Order> Antilog{};
    std::array<uint32_t, 65536> Log{};

    TTables() {
        uint32_t Value = 1;
        for (uint32_t Exponent = 0; Exponent < Order; ++Exponent) {
            Antilog[Exponent] = static_cast<uint16_t>(Value);
            Log[Value] = Exponent;
            Value <<= 1;
            if ((Value & 0x10000) != 0)
                Value ^= FieldPolynomial;
        }
    }
};

const TTables& Tables() {
    static const TTables Made;
    return Made;
}

uint16_t WordAt(const uint8_t* Bytes) {
    return static_cast<uint16_t>(Bytes[0] | (Bytes[1] << 8));
}

constexpr size_t Run = 64;
constexpr size_t Half = Run / 2;

size_t WholeRuns(size_t Bytes) {
    return Bytes - Bytes % Run;
}

// The factor's products with x^0 ... x^15, the words of a single set bit.
using TBitProducts = std::array<uint16_t, 16>;

TBitProducts BitProducts(uint16_t Factor) {
    TBitProducts Products{};
    uint32_t Value = Factor;
    for (uint16_t& Product : Products) {
        Product = static_cast<uint16_t>(Value);
        Value <<= 1;
        if ((Value & 0x10000) != 0)
            Value ^= FieldPolynomial;
    }
    return Products;
}

// The products of all 2^Bits words made of Bits consecutive bits, from the
// products of those bits alone: each new bit doubles the table.
template <unsigned Bits> void SubsetProducts(const uint16_t* OfBits, uint16_t* Products) {
    Products[0] = 0;
    for (unsigned Bit = 0; Bit < Bits; ++Bit)
        for (unsigned Lower = 0; Lower < (1U << Bit); ++Lower)
            Products[Lower | (1U << Bit)] = static_cast<uint16_t>(Products[Lower] ^ OfBits[Bit]);
}

void ToLayoutPlain(uint8_t* Region, size_t Bytes) {
    uint8_t Words[Run];
    for (size_t At = 0; At < WholeRuns(Bytes); At += Run) {
        std::memcpy(Words, Region + At, Run);
        for (size_t Word = 0; Word < Half; ++Word) {
            Region[At + Word] = Words[2 * Word];
            Region[At + Half + Word] = Words[2 * Word + 1];
        }
    }
}

void FromLayoutPlain(uint8_t* Region, size_t Bytes) {
    uint8_t Split[Run];
    for (size_t At = 0; At < WholeRuns(Bytes); At += Run) {
        std::memcpy(Split, Region + At, Run);
        for (size_t Word = 0; Word < Half; ++Word) {
            Region[At + 2 * Word] = Split[Word];
            Region[At + 2 * Word + 1] = Split[Half + Word];
        }
    }
}

// Without vector instructions: one table for the low byte's products and one
// for the high byte's.
struct TPlainKernel {
    struct TFactor {
        std::array<uint16_t, 256> Low, High;
    };

    static void Prepare(uint16_t Factor, TFactor& Prepared) {
        const TBitProducts OfBits = BitProducts(Factor);
        SubsetProducts<8>(OfBits.data(), Prepared.Low.data());
        SubsetProducts<8>(OfBits.data() + 8, Prepared.High.data());
    }

    static void Stretch(const TFactor& Prepared, const uint8_t* In, uint8_t* Out, size_t Bytes) {
        for (size_t At = 0; At < Bytes; At += Run)
            for (size_t Word = 0; Word < Half; ++Word) {
                const uint16_t Product =
                    Prepared.Low[In[At + Word]] ^ Prepared.High[In[At + Half + Word]];
                Out[At + Word] ^= static_cast<uint8_t>(Product);
                Out[At + Half + Word] ^= static_cast<uint8_t>(Product >> 8);
            }
    }

    static void ToLayout(uint8_t* Region, size_t Bytes) { ToLayoutPlain(Region, Bytes); }
    static void FromLayout(uint8_t* Region, size_t Bytes) { FromLayoutPlain(Region, Bytes); }
};

#ifdef PARVOX_GF16_X86

// The layout through SSE2, which every processor with a vector kernel has:
// bytes are packed apart and interleaved again 16 at a time.
__attribute__((target("sse2"))) void ToLayoutSse2(uint8_t* Region, size_t Bytes) {
    const __m128i LowBytes = _mm_set1_epi16(0x00ff);
    for (size_t At = 0; At < WholeRuns(Bytes); At += Run) {
        auto* Words = reinterpret_cast<__m128i*>(Region + At);
        const __m128i W0 = _mm_loadu_si128(Words), W1 = _mm_loadu_si128(Words + 1);
        const __m128i W2 = _mm_loadu_si128(Words + 2), W3 = _mm_loadu_si128(Words + 3);
        _mm_storeu_si128(
            Words, _mm_packus_epi16(_mm_and_si128(W0, LowBytes), _mm_and_si128(W1, LowBytes)));
        _mm_storeu_si128(
            Words + 1, _mm_packus_epi16(_mm_and_si128(W2, LowBytes), _mm_and_si128(W3, LowBytes)));
        _mm_storeu_si128(Words + 2, _mm_packus_epi16(_mm_srli_epi16(W0, 8), _mm_srli_epi16(W1, 8)));
        _mm_storeu_si128(Words + 3, _mm_packus_epi16(_mm_srli_epi16(W2, 8), _mm_srli_epi16(W3, 8)));
    }
}

__attribute__((target("sse2"))) void FromLayoutSse2(uint8_t* Region, size_t Bytes) {
    for (size_t At = 0; At < WholeRuns(Bytes); At += Run) {
        auto* Split = reinterpret_cast<__m128i*>(Region + At);
        const __m128i Low0 = _mm_loadu_si128(Split), Low1 = _mm_loadu_si128(Split + 1);
        const __m128i High0 = _mm_loadu_si128(Split + 2), High1 = _mm_loadu_si128(Split + 3);
        _mm_storeu_si128(Split, _mm_unpacklo_epi8(Low0, High0));
        _mm_storeu_si128(Split + 1, _mm_unpackhi_epi8(Low0, High0));
        _mm_storeu_si128(Split + 2, _mm_unpacklo_epi8(Low1, High1));
        _mm_storeu_si128(Split + 3, _mm_unpackhi_epi8(Low1, High1));
    }
}

struct TSse2Layout {
    static void ToLayout(uint8_t* Region, size_t Bytes) { ToLayoutSse2(Region, Bytes); }
    static void FromLayout(uint8_t* Region, size_t Bytes) { FromLayoutSse2(Region, Bytes); }
};

// Eight tables of 16 bytes: for each nibble of the word (low byte's low and
// high nibble, high byte's low and high nibble), the low and then the high
// byte of the products of its 16 values.
struct TSplitFactor {
    alignas(64) uint8_t Tables[8][16];
};

void PrepareSplit(uint16_t Factor, TSplitFactor& Prepared) {
    const TBitProducts OfBits = BitProducts(Factor);
    for (unsigned Nibble = 0; Nibble < 4; ++Nibble) {
        uint16_t Products[16];
        SubsetProducts<4>(OfBits.data() + 4 * Nibble, Products);
        for (unsigned Value = 0; Value < 16; ++Value) {
            Prepared.Tables[2 * Nibble][Value] = static_cast<uint8_t>(Products[Value]);
            Prepared.Tables[2 * Nibble + 1][Value] = static_cast<uint8_t>(Products[Value] >> 8);
        }
    }
}

struct TSsse3Kernel : TSse2Layout {
    using TFactor = TSplitFactor;

    static void Prepare(uint16_t Factor, TFactor& Prepared) { PrepareSplit(Factor, Prepared); }

    __attribute__((target("ssse3"))) static void Stretch(const TFactor& Prepared, const uint8_t* In,
                                                         uint8_t* Out, size_t Bytes) {
        const auto* Tables = reinterpret_cast<const __m128i*>(Prepared.Tables);
        const __m128i T0L = _mm_load_si128(Tables), T0H = _mm_load_si128(Tables + 1);
        const __m128i T1L = _mm_load_si128(Tables + 2), T1H = _mm_load_si128(Tables + 3);
        const __m128i T2L = _mm_load_si128(Tables + 4), T2H = _mm_load_si128(Tables + 5);
        const __m128i T3L = _mm_load_si128(Tables + 6), T3H = _mm_load_si128(Tables + 7);
        const __m128i Nibbles = _mm_set1_epi8(0x0f);
        for (size_t At = 0; At < Bytes; At += Run)
            for (size_t Part = At; Part < At + Half; Part += 16) {
                const __m128i Low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + Part));
                const __m128i High =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + Part + Half));
                const __m128i N0 = _mm_and_si128(Low, Nibbles);
                const __m128i N1 = _mm_and_si128(_mm_srli_epi16(Low, 4), Nibbles);
                const __m128i N2 = _mm_and_si128(High, Nibbles);
                const __m128i N3 = _mm_and_si128(_mm_srli_epi16(High, 4), Nibbles);
                const __m128i ProductLow = _mm_xor_si128(
                    _mm_xor_si128(_mm_shuffle_epi8(T0L, N0), _mm_shuffle_epi8(T1L, N1)),
                    _mm_xor_si128(_mm_shuffle_epi8(T2L, N2), _mm_shuffle_epi8(T3L, N3)));
                const __m128i ProductHigh = _mm_xor_si128(
                    _mm_xor_si128(_mm_shuffle_epi8(T0H, N0), _mm_shuffle_epi8(T1H, N1)),
                    _mm_xor_si128(_mm_shuffle_epi8(T2H, N2), _mm_shuffle_epi8(T3H, N3)));
                auto* OutLow = reinterpret_cast<__m128i*>(Out + Part);
                auto* OutHigh = reinterpret_cast<__m128i*>(Out + Part + Half);
                _mm_storeu_si128(OutLow, _mm_xor_si128(_mm_loadu_si128(OutLow), ProductLow));
                _mm_storeu_si128(OutHigh, _mm_xor_si128(_mm_loadu_si128(OutHigh), ProductHigh));
            }
    }
};

struct TAvx2Kernel : TSse2Layout {
    using TFactor = TSplitFactor;

    static void Prepare(uint16_t Factor, TFactor& Prepared) { PrepareSplit(Factor, Prepared); }

    // Each table twice, once for each 128-bit lane, where `vpshufb` looks up.
    __attribute__((target("avx2"))) static __m256i Table(const TFactor& Prepared, int Index) {
        return _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(Prepared.Tables[Index])));
    }

    __attribute__((target("avx2"))) static void Stretch(const TFactor& Prepared, const uint8_t* In,
                                                        uint8_t* Out, size_t Bytes) {
        const __m256i T0L = Table(Prepared, 0), T0H = Table(Prepared, 1);
        const __m256i T1L = Table(Prepared, 2), T1H = Table(Prepared, 3);
        const __m256i T2L = Table(Prepared, 4), T2H = Table(Prepared, 5);
        const __m256i T3L = Table(Prepared, 6), T3H = Table(Prepared, 7);
        const __m256i Nibbles = _mm256_set1_epi8(0x0f);
        for (size_t At = 0; At < Bytes; At += Run) {
            const __m256i Low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(In + At));
            const __m256i High =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(In + At + Half));
            const __m256i N0 = _mm256_and_si256(Low, Nibbles);
            const __m256i N1 = _mm256_and_si256(_mm256_srli_epi16(Low, 4), Nibbles);
            const __m256i N2 = _mm256_and_si256(High, Nibbles);
            const __m256i N3 = _mm256_and_si256(_mm256_srli_epi16(High, 4), Nibbles);
            const __m256i ProductLow = _mm256_xor_si256(
                _mm256_xor_si256(_mm256_shuffle_epi8(T0L, N0), _mm256_shuffle_epi8(T1L, N1)),
                _mm256_xor_si256(_mm256_shuffle_epi8(T2L, N2), _mm256_shuffle_epi8(T3L, N3)));
            const __m256i ProductHigh = _mm256_xor_si256(
                _mm256_xor_si256(_mm256_shuffle_epi8(T0H, N0), _mm256_shuffle_epi8(T1H, N1)),
                _mm256_xor_si256(_mm256_shuffle_epi8(T2H, N2), _mm256_shuffle_epi8(T3H, N3)));
            auto* OutLow = reinterpret_cast<__m256i*>(Out + At);
            auto* OutHigh = reinterpret_cast<__m256i*>(Out + At + Half);
            _mm256_storeu_si256(OutLow, _mm256_xor_si256(_mm256_loadu_si256(OutLow), ProductLow));
            _mm256_storeu_si256(OutHigh,
                                _mm256_xor_si256(_mm256_loadu_si256(OutHigh), ProductHigh));
        }
    }
};

// The four 8x8 bit matrices of a factor, as `gf2p8affineqb` takes them: the
// row of output bit i in byte 7 - i, and in a row the bit of each input bit.
struct TMatrixFactor {
    uint64_t LowToLow, HighToLow, LowToHigh, HighToHigh;
};

uint64_t BitMatrix(const TBitProducts& OfBits, unsigned InByte, unsigned OutByte) {
    uint64_t Matrix = 0;
    for (unsigned Row = 0; Row < 8; ++Row) {
        uint64_t RowBits = 0;
        for (unsigned Column = 0; Column < 8; ++Column)
            RowBits |= uint64_t{(OfBits[8 * InByte + Column] >> (8 * OutByte + Row)) & 1U}
                       << Column;
        Matrix |= RowBits << (8 * (7 - Row));
    }
    return Matrix;
}

void PrepareMatrices(uint16_t Factor, TMatrixFactor& Prepared) {
    const TBitProducts OfBits = BitProducts(Factor);
    Prepared = {BitMatrix(OfBits, 0, 0), BitMatrix(OfBits, 1, 0), BitMatrix(OfBits, 0, 1),
                BitMatrix(OfBits, 1, 1)};
}

struct TAvx2GfniKernel : TSse2Layout {
    using TFactor = TMatrixFactor;

    static void Prepare(uint16_t Factor, TFactor& Prepared) { PrepareMatrices(Factor, Prepared); }

    __attribute__((target("avx2,gfni"))) static void
    Stretch(const TFactor& Prepared, const uint8_t* In, uint8_t* Out, size_t Bytes) {
        const __m256i LowToLow = _mm256_set1_epi64x(static_cast<long long>(Prepared.LowToLow));
        const __m256i HighToLow = _mm256_set1_epi64x(static_cast<long long>(Prepared.HighToLow));
        const __m256i LowToHigh = _mm256_set1_epi64x(static_cast<long long>(Prepared.LowToHigh));
        const __m256i HighToHigh = _mm256_set1_epi64x(static_cast<long long>(Prepared.HighToHigh));
        for (size_t At = 0; At < Bytes; At += Run) {
            const __m256i Low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(In + At));
            const __m256i High =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(In + At + Half));
            const __m256i ProductLow =
                _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(Low, LowToLow, 0),
                                 _mm256_gf2p8affine_epi64_epi8(High, HighToLow, 0));
            const __m256i ProductHigh =
                _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(Low, LowToHigh, 0),
                                 _mm256_gf2p8affine_epi64_epi8(High, HighToHigh, 0));
            auto* OutLow = reinterpret_cast<__m256i*>(Out + At);
            auto* OutHigh = reinterpret_cast<__m256i*>(Out + At + Half);
            _mm256_storeu_si256(OutLow, _mm256_xor_si256(_mm256_loadu_si256(OutLow), ProductLow));
            _mm256_storeu_si256(OutHigh,
                                _mm256_xor_si256(_mm256_loadu_si256(OutHigh), ProductHigh));
        }
    }
};

// A whole run in one 512-bit register, low bytes in its lower half: one
// multiply takes each half to the same half of the product, a second one
// the halves swapped to the other.
struct TAvx512GfniKernel : TSse2Layout {
    using TFactor = TMatrixFactor;

    static void Prepare(uint16_t Factor, TFactor& Prepared) { PrepareMatrices(Factor, Prepared); }

    __attribute__((target("avx512f,avx512bw,avx512vl,gfni"))) static __m512i
    Halves(uint64_t Lower, uint64_t Upper) {
        const auto L = static_cast<long long>(Lower), U = static_cast<long long>(Upper);
        return _mm512_set_epi64(U, U, U, U, L, L, L, L);
    }

    __attribute__((target("avx512f,avx512bw,avx512vl,gfni"))) static void
    Stretch(const TFactor& Prepared, const uint8_t* In, uint8_t* Out, size_t Bytes) {
        const __m512i Same = Halves(Prepared.LowToLow, Prepared.HighToHigh);
        const __m512i Across = Halves(Prepared.HighToLow, Prepared.LowToHigh);
        for (size_t At = 0; At < Bytes; At += Run) {
            const __m512i Words = _mm512_loadu_si512(In + At);
            // The masked form, as the plain one trips GCC 12's warning of
            // an uninitialised value inside the intrinsic.
            const __m512i Swapped = _mm512_mask_shuffle_i64x2(Words, 0xFF, Words, Words, 0x4E);
            _mm512_storeu_si512(
                Out + At,
                _mm512_ternarylogic_epi64(_mm512_loadu_si512(Out + At),
                                          _mm512_gf2p8affine_epi64_epi8(Words, Same, 0),
                                          _mm512_gf2p8affine_epi64_epi8(Swapped, Across, 0), 0x96));
        }
    }
};

#endif

// Many outputs: a tile of the input stays in the first-level cache while it
// goes into a group of outputs, whose factors are prepared once per call.
constexpr size_t TileBytes = 16384;
constexpr size_t GroupOutputs = 32;

template <typename TKernelImpl>
void MultiplyAddWith(uint16_t Factor, const uint8_t* In, uint8_t* Out, size_t Bytes) {
    typename TKernelImpl::TFactor Prepared;
    TKernelImpl::Prepare(Factor, Prepared);
    const size_t Whole = WholeRuns(Bytes);
    TKernelImpl::Stretch(Prepared, In, Out, Whole);
    TGf16::MultiplyAddPlain(Factor, In + Whole, Out + Whole, Bytes - Whole);
}

template <typename TKernelImpl>
void MultiplyAddManyWith(const uint8_t* In, const uint16_t* Factors, uint8_t* const* Outs,
                         size_t Count, size_t Bytes) {
    typename TKernelImpl::TFactor Prepared[GroupOutputs];
    const size_t Whole = WholeRuns(Bytes);
    for (size_t First = 0; First < Count; First += GroupOutputs) {
        const size_t InGroup = std::min(GroupOutputs, Count - First);
        for (size_t Output = 0; Output < InGroup; ++Output)
            TKernelImpl::Prepare(Factors[First + Output], Prepared[Output]);
        for (size_t At = 0; At < Whole; At += TileBytes) {
            const size_t Length = std::min(TileBytes, Whole - At);
            for (size_t Output = 0; Output < InGroup; ++Output)
                TKernelImpl::Stretch(Prepared[Output], In + At, Outs[First + Output] + At, Length);
        }
        for (size_t Output = 0; Output < InGroup; ++Output)
            TGf16::MultiplyAddPlain(Factors[First + Output], In + Whole,
                                    Outs[First + Output] + Whole, Bytes - Whole);
    }
}

struct TKernelCalls {
    void (*ToLayout)(uint8_t*, size_t);
    void (*FromLayout)(uint8_t*, size_t);
    void (*MultiplyAdd)(uint16_t, const uint8_t*, uint8_t*, size_t);
    void (*MultiplyAddMany)(const uint8_t*, const uint16_t*, uint8_t* const*, size_t, size_t);
};

template <typename TKernelImpl>
constexpr TKernelCalls CallsOf{TKernelImpl::ToLayout, TKernelImpl::FromLayout,
                               MultiplyAddWith<TKernelImpl>, MultiplyAddManyWith<TKernelImpl>};

const TKernelCalls& CallsFor(TGf16::TKernel Kernel) {
    switch (Kernel) {
#ifdef PARVOX_GF16_X86
    case TGf16::TKernel::Ssse3:
        return CallsOf<TSsse3Kernel>;
    case TGf16::TKernel::Avx2:
        return CallsOf<TAvx2Kernel>;
    case TGf16::TKernel::Avx2Gfni:
        return CallsOf<TAvx2GfniKernel>;
    case TGf16::TKernel::Avx512Gfni:
        return CallsOf<TAvx512GfniKernel>;
#endif
    default:
        return CallsOf<TPlainKernel>;
    }
}

constexpr TGf16::TKernel FastestFirst[] = {TGf16::TKernel::Avx512Gfni, TGf16::TKernel::Avx2Gfni,
                                           TGf16::TKernel::Avx2, TGf16::TKernel::Ssse3,
                                           TGf16::TKernel::Plain};

// Chosen at the first use; the tests and the benchmark may choose another.
std::atomic<TGf16::TKernel>& Chosen() {
    static std::atomic<TGf16::TKernel> Kernel{
        *std::find_if(std::begin(FastestFirst), std::end(FastestFirst), TGf16::Supports)};
    return Kernel;
}

const TKernelCalls& Calls() {
    return CallsFor(Chosen().load(std::memory_order_relaxed));
}

} // namespace

uint16_t TGf16::Multiply(uint16_t A, uint16_t B) {
    if (A == 0 || B == 0)
        return 0;
    const TTables& T = Tables();
    return T.Antilog[(T.Log[A] + T.Log[B]) % Order];
}

uint16_t TGf16::Divide(uint16_t A, uint16_t B) {
    if (A == 0)
        return 0;
    const TTables& T = Tables();
    return T.Antilog[(T.Log[A] + Order - T.Log[B]) % Order];
}

uint16_t TGf16::Power(uint16_t Base, uint32_t Exponent) {
    if (Exponent == 0)
        return 1;
    if (Base == 0)
        return 0;
    const TTables& T = Tables();
    return T.Antilog[static_cast<uint32_t>(uint64_t{T.Log[Base]} * Exponent % Order)];
}

void TGf16::ToKernelLayout(uint8_t* Region, size_t Bytes) {
    Calls().ToLayout(Region, Bytes);
}

void TGf16::FromKernelLayout(uint8_t* Region, size_t Bytes) {
    Calls().FromLayout(Region, Bytes);
}

void TGf16::MultiplyAdd(uint16_t Factor, const uint8_t* In, uint8_t* Out, size_t Bytes) {
    Calls().MultiplyAdd(Factor, In, Out, Bytes);
}

void TGf16::MultiplyAddMany(const uint8_t* In, const uint16_t* Factors, uint8_t* const* Outs,
                            size_t Count, size_t Bytes) {
    Calls().MultiplyAddMany(In, Factors, Outs, Count, Bytes);
}

void TGf16::MultiplyAddPlain(uint16_t Factor, const uint8_t* In, uint8_t* Out, size_t Bytes) {
    for (size_t At = 0; At + 1 < Bytes; At += 2) {
        const uint16_t Product = Multiply(Factor, WordAt(In + At));
        Out[At] ^= static_cast<uint8_t>(Product);
        Out[At + 1] ^= static_cast<uint8_t>(Product >> 8);
    }
}

TGf16::TKernel TGf16::Kernel() {
    return Chosen().load(std::memory_order_relaxed);
}

bool TGf16::Supports(TKernel Kernel) {
#ifdef PARVOX_GF16_X86
    __builtin_cpu_init();
    const bool Gfni = __builtin_cpu_supports("gfni") != 0;
    switch (Kernel) {
    case TKernel::Plain:
        return true;
    case TKernel::Ssse3:
        return __builtin_cpu_supports("ssse3") != 0;
    case TKernel::Avx2:
        return __builtin_cpu_supports("avx2") != 0;
    case TKernel::Avx2Gfni:
        return __builtin_cpu_supports("avx2") != 0 && Gfni;
    case TKernel::Avx512Gfni:
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
               __builtin_cpu_supports("avx512vl") != 0 && Gfni;
    }
    return false;
#else
    return Kernel == TKernel::Plain;
#endif
}

const char* TGf16::KernelName(TKernel Kernel) {
    switch (Kernel) {
    case TKernel::Plain:
        return "plain";
    case TKernel::Ssse3:
        return "SSSE3";
    case TKernel::Avx2:
        return "AVX2";
    case TKernel::Avx2Gfni:
        return "AVX2+GFNI";
    case TKernel::Avx512Gfni:
        return "AVX-512+GFNI";
    }
    return "";
}

void TGf16::UseKernel(TKernel Kernel) {
    if (Supports(Kernel))
        Chosen().store(Kernel, std::memory_order_relaxed);
}
