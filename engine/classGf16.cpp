// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// GF(2^16) arithmetic over log and antilog tables.
#include "classGf16.h"

#include <array>

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

void TGf16::ToKernelLayout(uint8_t* /*Region*/, size_t /*Bytes*/) {}

void TGf16::FromKernelLayout(uint8_t* /*Region*/, size_t /*Bytes*/) {}

void TGf16::MultiplyAdd(uint16_t Factor, const uint8_t* In, uint8_t* Out, size_t Bytes) {
    MultiplyAddPlain(Factor, In, Out, Bytes);
}

void TGf16::MultiplyAddMany(const uint8_t* In, const uint16_t* Factors, uint8_t* const* Outs,
                            size_t Count, size_t Bytes) {
    for (size_t Output = 0; Output < Count; ++Output)
        MultiplyAdd(Factors[Output], In, Outs[Output], Bytes);
}

void TGf16::MultiplyAddPlain(uint16_t Factor, const uint8_t* In, uint8_t* Out, size_t Bytes) {
    for (size_t At = 0; At + 1 < Bytes; At += 2) {
        const uint16_t Product = Multiply(Factor, WordAt(In + At));
        Out[At] ^= static_cast<uint8_t>(Product);
        Out[At + 1] ^= static_cast<uint8_t>(Product >> 8);
    }
}
