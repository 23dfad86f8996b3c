// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// GF(2^16) arithmetic: single elements over log and antilog tables, regions
// over kernels chosen once by what the processor has.
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
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#define PARVOX_GF16_X86 1
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t FieldPolynomial = 0x1100B;
constexpr uint32_t Order = 65535;

// Value times x, the generator, reduced by the field's polynomial.
constexpr uint32_t TimesX(uint32_t Value) {
    Value <<= 1;
    return (Value & 0x10000) != 0 ? Value ^ FieldPolynomial : Value;
}

struct TTables {
    std::array<uint16_t, Order> Antilog{};
    std::array<uint32_t, 65536> Log{};

    TTables() {
        uint32_t Value = 1;
        for (uint32_t Exponent = 0; Exponent < Order; ++Exponent) {
            Antilog[Exponent] = static_cast<uint16_t>(Value);
            Log[Value] = Exponent;
            Value = TimesX(Value);
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
        Value = TimesX(Value);
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

// Each kernel adds the products of a stretch of one or more inputs into an
// output: Stretch(Prepared, Ins, InCount, At, Out, Bytes, Next) adds
// Prepared[i] times Ins[i] for every input i into Out, over the bytes from
// At on, a whole number of runs. Meanwhile it asks for the same bytes of
// Next, the output that comes after, to be brought into the cache. A run of
// the output stays in registers while the products of all inputs are added
// into it; with one input the factor's tables stay in registers too.

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

    static void Stretch(const TFactor* Prepared, const uint8_t* const* Ins, size_t InCount,
                        size_t At, uint8_t* Out, size_t Bytes, const uint8_t* /*Next*/) {
        for (size_t Input = 0; Input < InCount; ++Input) {
            const TFactor& Factor = Prepared[Input];
            const uint8_t* In = Ins[Input];
            for (size_t Start = At; Start < At + Bytes; Start += Run)
                for (size_t Word = Start; Word < Start + Half; ++Word) {
                    const uint16_t Product = Factor.Low[In[Word]] ^ Factor.High[In[Word + Half]];
                    Out[Word] ^= static_cast<uint8_t>(Product);
                    Out[Word + Half] ^= static_cast<uint8_t>(Product >> 8);
                }
        }
    }

    static void ToLayout(uint8_t* Region, size_t Bytes) { ToLayoutPlain(Region, Bytes); }
    static void FromLayout(uint8_t* Region, size_t Bytes) { FromLayoutPlain(Region, Bytes); }
};

#ifdef PARVOX_GF16_X86

// The program is built for any x86 processor: the vector instructions are
// asked for function by function and run only where the processor has them.
#define PARVOX_SSSE3 __attribute__((target("ssse3")))
#define PARVOX_AVX __attribute__((target("avx")))
#define PARVOX_AVX2 __attribute__((target("avx2")))
#define PARVOX_AVX2_GFNI __attribute__((target("avx2,gfni")))
#define PARVOX_AVX512_GFNI __attribute__((target("avx512f,avx512bw,avx512vl,gfni")))
// The prepared factors are aligned by hand: outside the functions that have
// AVX, GCC aligns a 256-bit or 512-bit vector to 16 bytes only, and these
// structures are made there and read here.

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

// For each nibble of the word (the low byte's low and high nibble, the high
// byte's low and high nibble), the low and the high byte of the products of
// its 16 values: eight tables of 16 bytes, each once for every one of the
// Lanes 128-bit lanes of a register, as `pshufb` looks up within a lane.
void PrepareSplit(uint16_t Factor, void* Tables, size_t Lanes) {
    const TBitProducts OfBits = BitProducts(Factor);
    auto* Bytes = static_cast<uint8_t*>(Tables);
    for (unsigned Nibble = 0; Nibble < 4; ++Nibble) {
        uint16_t Products[16];
        SubsetProducts<4>(OfBits.data() + 4 * Nibble, Products);
        uint8_t Low[16], High[16];
        for (unsigned Value = 0; Value < 16; ++Value) {
            Low[Value] = static_cast<uint8_t>(Products[Value]);
            High[Value] = static_cast<uint8_t>(Products[Value] >> 8);
        }
        for (size_t Lane = 0; Lane < Lanes; ++Lane) {
            std::memcpy(Bytes + ((2 * Nibble) * Lanes + Lane) * 16, Low, 16);
            std::memcpy(Bytes + ((2 * Nibble + 1) * Lanes + Lane) * 16, High, 16);
        }
    }
}

// The four 8x8 bit matrices of a factor, as `gf2p8affineqb` takes them: the
// row of output bit i in byte 7 - i, in a row the bit of each input bit.
// They are those of the products of the 8 bits of a byte, seen as a matrix
// of their bytes, transposed (three swaps of ever larger blocks) and turned
// upside down.
struct TBitMatrices {
    uint64_t LowToLow, HighToLow, LowToHigh, HighToHigh;
};

uint64_t BitMatrix(const uint16_t* OfBits, unsigned OutByte) {
    uint64_t Bits = 0;
    for (unsigned Bit = 0; Bit < 8; ++Bit)
        Bits |= uint64_t{static_cast<uint8_t>(OfBits[Bit] >> (8 * OutByte))} << (8 * Bit);
    uint64_t Swap = (Bits ^ (Bits >> 7)) & 0x00AA00AA00AA00AAULL;
    Bits ^= Swap ^ (Swap << 7);
    Swap = (Bits ^ (Bits >> 14)) & 0x0000CCCC0000CCCCULL;
    Bits ^= Swap ^ (Swap << 14);
    Swap = (Bits ^ (Bits >> 28)) & 0x00000000F0F0F0F0ULL;
    Bits ^= Swap ^ (Swap << 28);
    return __builtin_bswap64(Bits);
}

TBitMatrices BitMatrices(uint16_t Factor) {
    const TBitProducts OfBits = BitProducts(Factor);
    return {BitMatrix(OfBits.data(), 0), BitMatrix(OfBits.data() + 8, 0),
            BitMatrix(OfBits.data(), 1), BitMatrix(OfBits.data() + 8, 1)};
}

// The loop of the vector kernels, compiled into each kernel's Stretch with
// that kernel's instructions (it has none of its own): a run of the output
// in registers (TRun) takes the products of every input's run. The factor's
// tables or matrices come into registers before the loop when there is one
// input, and for each run and input from the cache otherwise.
template <typename TKernelImpl>
__attribute__((always_inline)) inline void
StretchRuns(const typename TKernelImpl::TFactor* Prepared, const uint8_t* const* Ins,
            size_t InCount, size_t At, uint8_t* Out, size_t Bytes, const uint8_t* Next) {
    const typename TKernelImpl::TFactor One = Prepared[0];
    for (size_t Start = At; Start < At + Bytes; Start += Run) {
        __builtin_prefetch(Next + Start, 1);
        typename TKernelImpl::TRun Sum = TKernelImpl::Load(Out + Start);
        if (InCount == 1)
            TKernelImpl::Add(One, Ins[0] + Start, Sum);
        else
            for (size_t Input = 0; Input < InCount; ++Input)
                TKernelImpl::Add(Prepared[Input], Ins[Input] + Start, Sum);
        TKernelImpl::Store(Out + Start, Sum);
    }
}

// The split-table product of the words whose low and high bytes are in Low
// and High, added into SumLow and SumHigh: each nibble looks up its share of
// both bytes. The same for 128-bit and 256-bit registers, with the
// instructions of the kernel TOps (its functions take their vectors by
// reference, as passing them by value between code with and without AVX
// would change how they are passed).
template <typename TOps>
__attribute__((always_inline)) inline void
AddSplit(const typename TOps::TVector* Tables, const typename TOps::TVector& Low,
         const typename TOps::TVector& High, typename TOps::TVector& SumLow,
         typename TOps::TVector& SumHigh) {
    typename TOps::TVector N0, N1, N2, N3;
    TOps::Nibbles(Low, N0, N1);
    TOps::Nibbles(High, N2, N3);
    TOps::AddLookUp(Tables[0], N0, SumLow);
    TOps::AddLookUp(Tables[1], N0, SumHigh);
    TOps::AddLookUp(Tables[2], N1, SumLow);
    TOps::AddLookUp(Tables[3], N1, SumHigh);
    TOps::AddLookUp(Tables[4], N2, SumLow);
    TOps::AddLookUp(Tables[5], N2, SumHigh);
    TOps::AddLookUp(Tables[6], N3, SumLow);
    TOps::AddLookUp(Tables[7], N3, SumHigh);
}

struct TSsse3Kernel : TSse2Layout {
    struct alignas(64) TFactor {
        __m128i Tables[8];
    };

    static void Prepare(uint16_t Factor, TFactor& Prepared) {
        PrepareSplit(Factor, Prepared.Tables, 1);
    }

    // Two halves of 16 words each.
    struct TRun {
        __m128i Low[2], High[2];
    };

    PARVOX_SSSE3 static __m128i Vector(const void* Bytes) {
        return _mm_loadu_si128(static_cast<const __m128i*>(Bytes));
    }

    PARVOX_SSSE3 static TRun Load(const uint8_t* Bytes) {
        return {{Vector(Bytes), Vector(Bytes + 16)},
                {Vector(Bytes + Half), Vector(Bytes + Half + 16)}};
    }

    PARVOX_SSSE3 static void Store(uint8_t* Bytes, const TRun& Sum) {
        auto* Vectors = reinterpret_cast<__m128i*>(Bytes);
        _mm_storeu_si128(Vectors, Sum.Low[0]);
        _mm_storeu_si128(Vectors + 1, Sum.Low[1]);
        _mm_storeu_si128(Vectors + 2, Sum.High[0]);
        _mm_storeu_si128(Vectors + 3, Sum.High[1]);
    }

    using TVector = __m128i;

    PARVOX_SSSE3 static void Nibbles(const __m128i& Bytes, __m128i& Low, __m128i& High) {
        const __m128i Mask = _mm_set1_epi8(0x0f);
        Low = _mm_and_si128(Bytes, Mask);
        High = _mm_and_si128(_mm_srli_epi16(Bytes, 4), Mask);
    }

    PARVOX_SSSE3 static void AddLookUp(const __m128i& Table, const __m128i& Index, __m128i& Sum) {
        Sum = _mm_xor_si128(Sum, _mm_shuffle_epi8(Table, Index));
    }

    PARVOX_SSSE3 static void Add(const TFactor& Factor, const uint8_t* In, TRun& Sum) {
        for (int Part = 0; Part < 2; ++Part)
            AddSplit<TSsse3Kernel>(Factor.Tables, Vector(In + 16 * Part),
                                   Vector(In + Half + 16 * Part), Sum.Low[Part], Sum.High[Part]);
    }

    PARVOX_SSSE3 static void Stretch(const TFactor* Prepared, const uint8_t* const* Ins,
                                     size_t InCount, size_t At, uint8_t* Out, size_t Bytes,
                                     const uint8_t* Next) {
        StretchRuns<TSsse3Kernel>(Prepared, Ins, InCount, At, Out, Bytes, Next);
    }
};

// The 256-bit kernels: a run's low and high bytes in a register each, moved
// with AVX, which both have.
struct TKernel256 : TSse2Layout {
    struct TRun {
        __m256i Low, High;
    };

    PARVOX_AVX static __m256i Vector(const void* Bytes) {
        return _mm256_loadu_si256(static_cast<const __m256i*>(Bytes));
    }

    PARVOX_AVX static TRun Load(const uint8_t* Bytes) {
        return {Vector(Bytes), Vector(Bytes + Half)};
    }

    PARVOX_AVX static void Store(uint8_t* Bytes, const TRun& Sum) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Bytes), Sum.Low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Bytes + Half), Sum.High);
    }
};

struct TAvx2Kernel : TKernel256 {
    struct alignas(64) TFactor {
        __m256i Tables[8];
    };

    static void Prepare(uint16_t Factor, TFactor& Prepared) {
        PrepareSplit(Factor, Prepared.Tables, 2);
    }

    using TVector = __m256i;

    PARVOX_AVX2 static void Nibbles(const __m256i& Bytes, __m256i& Low, __m256i& High) {
        const __m256i Mask = _mm256_set1_epi8(0x0f);
        Low = _mm256_and_si256(Bytes, Mask);
        High = _mm256_and_si256(_mm256_srli_epi16(Bytes, 4), Mask);
    }

    PARVOX_AVX2 static void AddLookUp(const __m256i& Table, const __m256i& Index, __m256i& Sum) {
        Sum = _mm256_xor_si256(Sum, _mm256_shuffle_epi8(Table, Index));
    }

    PARVOX_AVX2 static void Add(const TFactor& Factor, const uint8_t* In, TRun& Sum) {
        AddSplit<TAvx2Kernel>(Factor.Tables, Vector(In), Vector(In + Half), Sum.Low, Sum.High);
    }

    PARVOX_AVX2 static void Stretch(const TFactor* Prepared, const uint8_t* const* Ins,
                                    size_t InCount, size_t At, uint8_t* Out, size_t Bytes,
                                    const uint8_t* Next) {
        StretchRuns<TAvx2Kernel>(Prepared, Ins, InCount, At, Out, Bytes, Next);
    }
};

struct TAvx2GfniKernel : TKernel256 {
    // Low to low, high to low, low to high, high to high, in four lanes each.
    struct alignas(64) TFactor {
        __m256i Matrices[4];
    };

    static void Prepare(uint16_t Factor, TFactor& Prepared) {
        const TBitMatrices Matrices = BitMatrices(Factor);
        const uint64_t Each[] = {Matrices.LowToLow, Matrices.HighToLow, Matrices.LowToHigh,
                                 Matrices.HighToHigh};
        uint64_t Lanes[4][4];
        for (unsigned Matrix = 0; Matrix < 4; ++Matrix)
            std::fill(std::begin(Lanes[Matrix]), std::end(Lanes[Matrix]), Each[Matrix]);
        std::memcpy(Prepared.Matrices, Lanes, sizeof Lanes);
    }

    PARVOX_AVX2_GFNI static void Add(const TFactor& Factor, const uint8_t* In, TRun& Sum) {
        const __m256i* M = Factor.Matrices;
        const __m256i Low = Vector(In), High = Vector(In + Half);
        Sum.Low = _mm256_xor_si256(Sum.Low,
                                   _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(Low, M[0], 0),
                                                    _mm256_gf2p8affine_epi64_epi8(High, M[1], 0)));
        Sum.High = _mm256_xor_si256(Sum.High,
                                    _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(Low, M[2], 0),
                                                     _mm256_gf2p8affine_epi64_epi8(High, M[3], 0)));
    }

    PARVOX_AVX2_GFNI static void Stretch(const TFactor* Prepared, const uint8_t* const* Ins,
                                         size_t InCount, size_t At, uint8_t* Out, size_t Bytes,
                                         const uint8_t* Next) {
        StretchRuns<TAvx2GfniKernel>(Prepared, Ins, InCount, At, Out, Bytes, Next);
    }
};

// A whole run in one 512-bit register, low bytes in its lower half: one
// multiply takes each half to the same half of the product, a second one
// the halves swapped to the other.
struct TAvx512GfniKernel : TSse2Layout {
    // Low to low and high to high; high to low and low to high.
    struct alignas(64) TFactor {
        __m512i Same, Across;
    };
    struct TRun {
        __m512i Words;
    };

    static void Prepare(uint16_t Factor, TFactor& Prepared) {
        const TBitMatrices Matrices = BitMatrices(Factor);
        uint64_t Same[8], Across[8];
        for (unsigned Lane = 0; Lane < 4; ++Lane) {
            Same[Lane] = Matrices.LowToLow;
            Same[Lane + 4] = Matrices.HighToHigh;
            Across[Lane] = Matrices.HighToLow;
            Across[Lane + 4] = Matrices.LowToHigh;
        }
        std::memcpy(&Prepared.Same, Same, sizeof Same);
        std::memcpy(&Prepared.Across, Across, sizeof Across);
    }

    PARVOX_AVX512_GFNI static TRun Load(const uint8_t* Bytes) {
        return {_mm512_loadu_si512(Bytes)};
    }

    PARVOX_AVX512_GFNI static void Store(uint8_t* Bytes, const TRun& Sum) {
        _mm512_storeu_si512(Bytes, Sum.Words);
    }

    PARVOX_AVX512_GFNI static void Add(const TFactor& Factor, const uint8_t* In, TRun& Sum) {
        const __m512i Words = _mm512_loadu_si512(In);
        // The masked form, as the plain one trips GCC 12's warning of an
        // uninitialised value inside the intrinsic.
        const __m512i Swapped = _mm512_mask_shuffle_i64x2(Words, 0xFF, Words, Words, 0x4E);
        Sum.Words = _mm512_ternarylogic_epi64(
            Sum.Words, _mm512_gf2p8affine_epi64_epi8(Words, Factor.Same, 0),
            _mm512_gf2p8affine_epi64_epi8(Swapped, Factor.Across, 0), 0x96);
    }

    PARVOX_AVX512_GFNI static void Stretch(const TFactor* Prepared, const uint8_t* const* Ins,
                                           size_t InCount, size_t At, uint8_t* Out, size_t Bytes,
                                           const uint8_t* Next) {
        StretchRuns<TAvx512GfniKernel>(Prepared, Ins, InCount, At, Out, Bytes, Next);
    }
};

#endif

// Many outputs: a tile of the input stays in the first-level cache while it
// goes into each output of a group, whose factors are prepared once per call.
constexpr size_t TileBytes = 16384;
constexpr size_t GroupOutputs = 32;
// Many inputs: up to this many at once, each output's run taking all their
// products before it goes back to memory; their tiles together fill about
// half the first-level cache.
constexpr size_t BatchInputs = 8;
constexpr size_t BatchTileBytes = 4096;

template <typename TKernelImpl>
void MultiplyAddWith(uint16_t Factor, const uint8_t* In, uint8_t* Out, size_t Bytes) {
    typename TKernelImpl::TFactor Prepared;
    TKernelImpl::Prepare(Factor, Prepared);
    const size_t Whole = WholeRuns(Bytes);
    TKernelImpl::Stretch(&Prepared, &In, 1, 0, Out, Whole, Out);
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
                TKernelImpl::Stretch(&Prepared[Output], &In, 1, At, Outs[First + Output], Length,
                                     Outs[First + std::min(Output + 1, InGroup - 1)]);
        }
        for (size_t Output = 0; Output < InGroup; ++Output)
            TGf16::MultiplyAddPlain(Factors[First + Output], In + Whole,
                                    Outs[First + Output] + Whole, Bytes - Whole);
    }
}

template <typename TKernelImpl>
void MultiplyAddBatchWith(const uint8_t* const* Ins, size_t InCount, const uint16_t* Factors,
                          uint8_t* const* Outs, size_t OutCount, size_t Bytes) {
    std::vector<typename TKernelImpl::TFactor> Prepared(OutCount * BatchInputs);
    const size_t Whole = WholeRuns(Bytes);
    for (size_t First = 0; First < InCount; First += BatchInputs) {
        const size_t InBatch = std::min(BatchInputs, InCount - First);
        for (size_t Output = 0; Output < OutCount; ++Output)
            for (size_t Input = 0; Input < InBatch; ++Input)
                TKernelImpl::Prepare(Factors[Output * InCount + First + Input],
                                     Prepared[Output * BatchInputs + Input]);
        for (size_t At = 0; At < Whole; At += BatchTileBytes) {
            const size_t Length = std::min(BatchTileBytes, Whole - At);
            for (size_t Output = 0; Output < OutCount; ++Output)
                TKernelImpl::Stretch(&Prepared[Output * BatchInputs], Ins + First, InBatch, At,
                                     Outs[Output], Length,
                                     Outs[std::min(Output + 1, OutCount - 1)]);
        }
    }
    for (size_t Output = 0; Output < OutCount; ++Output)
        for (size_t Input = 0; Input < InCount; ++Input)
            TGf16::MultiplyAddPlain(Factors[Output * InCount + Input], Ins[Input] + Whole,
                                    Outs[Output] + Whole, Bytes - Whole);
}

struct TKernelCalls {
    void (*ToLayout)(uint8_t*, size_t);
    void (*FromLayout)(uint8_t*, size_t);
    void (*MultiplyAdd)(uint16_t, const uint8_t*, uint8_t*, size_t);
    void (*MultiplyAddMany)(const uint8_t*, const uint16_t*, uint8_t* const*, size_t, size_t);
    void (*MultiplyAddBatch)(const uint8_t* const*, size_t, const uint16_t*, uint8_t* const*,
                             size_t, size_t);
};

template <typename TKernelImpl>
constexpr TKernelCalls CallsOf{TKernelImpl::ToLayout, TKernelImpl::FromLayout,
                               MultiplyAddWith<TKernelImpl>, MultiplyAddManyWith<TKernelImpl>,
                               MultiplyAddBatchWith<TKernelImpl>};

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

void TGf16::MultiplyAddBatch(const uint8_t* const* Ins, size_t InCount, const uint16_t* Factors,
                             uint8_t* const* Outs, size_t OutCount, size_t Bytes) {
    Calls().MultiplyAddBatch(Ins, InCount, Factors, Outs, OutCount, Bytes);
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
