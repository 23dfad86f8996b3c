// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Arithmetic in the field GF(2^16) of the recovery data (generator 2, field
// polynomial x^16 + x^12 + x^3 + x + 1, 0x1100B): single elements, and whole
// regions of 16-bit words multiplied and added at once. Regions are worked
// on in a layout of the kernel's own: a region is brought into it before its
// first use and back after its last; in between only these functions touch
// it. The region functions run on the vector instructions that the processor
// has (split tables with SSSE3 or AVX2, bit matrices with GFNI), chosen once;
// they may run on several threads at once, each on outputs of its own. The
// plain version beside them is what the tests hold them to.
#pragma once

#include <cstddef>
#include <cstdint>

class TGf16 {
public:
    // Regions are a whole number of this many bytes long; the functions take
    // any even length, but work word by word on a shorter end. Regions that
    // start on a multiple of it are read and written a cache line at a time.
    static constexpr size_t RegionAlign = 64;

    [[nodiscard]] static uint16_t Multiply(uint16_t A, uint16_t B);
    // A / B; B is not 0.
    [[nodiscard]] static uint16_t Divide(uint16_t A, uint16_t B);
    // Base to the power Exponent; 0 to the power 0 is 1.
    [[nodiscard]] static uint16_t Power(uint16_t Base, uint32_t Exponent);

    // Brings a region of little-endian 16-bit words, as files hold them, into
    // the kernel's layout, and back; in place.
    static void ToKernelLayout(uint8_t* Region, size_t Bytes);
    static void FromKernelLayout(uint8_t* Region, size_t Bytes);

    // Out += Factor * In, word by word, both regions in the kernel's layout.
    static void MultiplyAdd(uint16_t Factor, const uint8_t* In, uint8_t* Out, size_t Bytes);
    // Outs[k] += Factors[k] * In for each of the Count outputs: the input is
    // read once for all of them.
    static void MultiplyAddMany(const uint8_t* In, const uint16_t* Factors, uint8_t* const* Outs,
                                size_t Count, size_t Bytes);
    // Outs[k] += the sum of Factors[k * InCount + i] * Ins[i] over the
    // InCount inputs, for each of the OutCount outputs: each output passes
    // through the cache once for several inputs, which makes this the
    // fastest way to add many inputs into many outputs.
    static void MultiplyAddBatch(const uint8_t* const* Ins, size_t InCount, const uint16_t* Factors,
                                 uint8_t* const* Outs, size_t OutCount, size_t Bytes);

    // Word by word with the log tables, in the layout of the files.
    static void MultiplyAddPlain(uint16_t Factor, const uint8_t* In, uint8_t* Out, size_t Bytes);

    // The kernels that the region functions run on, slowest first. The
    // fastest one that the processor has is chosen once, at the first use;
    // all share one layout.
    enum class TKernel { Plain, Ssse3, Avx2, Avx2Gfni, Avx512Gfni };
    [[nodiscard]] static TKernel Kernel();
    [[nodiscard]] static bool Supports(TKernel Kernel);
    [[nodiscard]] static const char* KernelName(TKernel Kernel);
    // Runs the region functions on Kernel, which the processor must have:
    // for the tests and the benchmark, while no other thread uses them.
    static void UseKernel(TKernel Kernel);
};
