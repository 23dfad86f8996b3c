// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Measures the field's region kernels on one core, in GB/s of input
// multiplied into an output: regions of 128 KiB, one input into one output
// (both in the cache), and one input into many outputs, as the recovery data
// is computed (the outputs far beyond the cache), one at a time and 8 at a
// time (MultiplyAddBatch). Every kernel that this
// processor has is measured, and, where the build found Debian's
// libgf-complete (package libgf-complete-dev), the library's region multiply
// of the same field beside them, after a check that it gives the same bytes.
//
//   parvox_bench_gf16 [OUTPUTS]   OUTPUTS regions in the many-outputs case, 200 at first
#include "classGf16.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <time.h>
#include <vector>

#ifdef PARVOX_GF_COMPLETE
extern "C" {
#include <gf_complete.h>
}
#endif

namespace {

constexpr size_t RegionBytes = 128 * 1024;
// Inputs taken in turn in the many-outputs case, as a file's slices come.
constexpr size_t Inputs = 8;

// The processor time of this thread: on cores shared with other work, the
// time that the measured code ran, not the time that others ran meanwhile.
double ThreadSeconds() {
    timespec Now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
    return static_cast<double>(Now.tv_sec) + static_cast<double>(Now.tv_nsec) / 1e9;
}

// The best of 15 rounds of at least 0.1 s each, in GB/s of processor time:
// the fastest round is the one least disturbed by other work in the caches.
double Speed(size_t BytesPerCall, const std::function<void(size_t)>& Call) {
    double Best = 0;
    for (int Round = 0; Round < 15; ++Round) {
        const double Start = ThreadSeconds();
        size_t Calls = 0;
        double Seconds = 0;
        do {
            for (size_t Batch = 0; Batch < 8; ++Batch)
                Call(Calls++);
            Seconds = ThreadSeconds() - Start;
        } while (Seconds < 0.1);
        Best = std::max(Best, static_cast<double>(BytesPerCall) * static_cast<double>(Calls) /
                                  Seconds / 1e9);
    }
    return Best;
}

// Regions one after another from a 64-byte boundary, as a cache line
// holds them: a load that spans two lines costs twice.
struct TRegions {
    std::vector<uint8_t> Storage;
    std::vector<uint8_t*> Each;

    TRegions(size_t Count, std::mt19937& Random) : Storage(Count * RegionBytes + 64) {
        std::generate(Storage.begin(), Storage.end(),
                      [&] { return static_cast<uint8_t>(Random()); });
        uint8_t* First = Storage.data() + (64 - reinterpret_cast<uintptr_t>(Storage.data()) % 64);
        for (size_t Region = 0; Region < Count; ++Region)
            Each.push_back(First + Region * RegionBytes);
    }
};

void Row(const char* Name, double One, double Many, double Batch, double Layout) {
    std::printf("%-14s %10.1f %12.1f", Name, One, Many);
    if (Batch > 0)
        std::printf(" %12.1f %10.1f", Batch, Layout);
    std::printf("\n");
}

// The recovery data of a file of 256 MiB in slices of 128 KiB, 10 per cent
// (205 recovery slices), on one core with the kernel chosen at start-up:
// each slice brought into the kernels' layout and added into every recovery
// slice, one at a time and 8 at a time. The slices come from 64 regions taken
// in turn, 8 MiB, more than the second-level cache holds, as a file's do.
void EncodeFile() {
    constexpr size_t Slices = 2048, Recovery = 205, Batch = 8;
    std::mt19937 Random(9);
    TRegions Source(64, Random), Recovered(Recovery, Random);
    const std::vector<uint8_t*>& Outs = Recovered.Each;
    std::vector<uint16_t> Factors(Recovery * Batch);
    std::generate(Factors.begin(), Factors.end(),
                  [&] { return static_cast<uint16_t>(Random() | 1); });
    const auto Seconds = [&](size_t InCount) {
        const double Start = ThreadSeconds();
        for (size_t First = 0; First < Slices; First += InCount) {
            std::vector<uint8_t*> Ins;
            for (size_t Slice = First; Slice < First + InCount; ++Slice) {
                Ins.push_back(Source.Each[Slice % Source.Each.size()]);
                TGf16::ToKernelLayout(Ins.back(), RegionBytes);
            }
            if (InCount == 1)
                TGf16::MultiplyAddMany(Ins[0], Factors.data(), Outs.data(), Recovery, RegionBytes);
            else
                TGf16::MultiplyAddBatch(Ins.data(), InCount, Factors.data(), Outs.data(), Recovery,
                                        RegionBytes);
        }
        return ThreadSeconds() - Start;
    };
    double One = 1e9, Eight = 1e9;
    for (int Round = 0; Round < 3; ++Round) {
        One = std::min(One, Seconds(1));
        Eight = std::min(Eight, Seconds(Batch));
    }
    std::printf("\nrecovery data of 256 MiB, 10 %% (2048 slices of 128 KiB into 205), one core:\n"
                "%.2f s one slice at a time, %.2f s 8 at a time (processor time)\n",
                One, Eight);
}

#ifdef PARVOX_GF_COMPLETE
// The library's default field of 16-bit words is ours (polynomial 0x1100B):
// its region product of random words must equal the plain one.
bool SameProducts(gf_t& Field, std::mt19937& Random) {
    TRegions Regions(3, Random);
    const auto Factor = static_cast<uint16_t>(Random());
    uint8_t* const* Region = Regions.Each.data();
    std::copy(Region[1], Region[1] + RegionBytes, Region[2]);
    TGf16::MultiplyAddPlain(Factor, Region[0], Region[1], RegionBytes);
    Field.multiply_region.w32(&Field, Region[0], Region[2], Factor, static_cast<int>(RegionBytes),
                              1);
    return std::equal(Region[1], Region[1] + RegionBytes, Region[2]);
}
#endif

} // namespace

int main(int Argc, char** Argv) {
    const size_t Outputs = Argc > 1 ? std::strtoul(Argv[1], nullptr, 10) : 200;
    if (Outputs == 0) {
        std::fprintf(stderr, "usage: parvox_bench_gf16 [OUTPUTS]\n");
        return 2;
    }
    std::mt19937 Random(5);
    TRegions InRegions(Inputs, Random), OutRegions(Outputs, Random);
    const std::vector<uint8_t*>& Ins = InRegions.Each;
    const std::vector<uint8_t*>& Outs = OutRegions.Each;
    std::vector<uint16_t> Factors(Outputs * Inputs);
    std::generate(Factors.begin(), Factors.end(),
                  [&] { return static_cast<uint16_t>(Random() | 1); });

    double Load[1] = {};
    std::printf("GB/s of processor time on one core: 128 KiB regions; one output, and one input "
                "into %zu outputs "
                "(%zu MiB); load average %.2f\n\n",
                Outputs, Outputs * RegionBytes >> 20, getloadavg(Load, 1) == 1 ? Load[0] : -1.0);
    std::printf("%-14s %10s %12s %12s %10s\n", "kernel", "one output", "many outputs",
                "8 at a time", "layout");
    const TGf16::TKernel Chosen = TGf16::Kernel();
    for (const auto Kernel : {TGf16::TKernel::Plain, TGf16::TKernel::Ssse3, TGf16::TKernel::Avx2,
                              TGf16::TKernel::Avx2Gfni, TGf16::TKernel::Avx512Gfni}) {
        if (!TGf16::Supports(Kernel))
            continue;
        TGf16::UseKernel(Kernel);
        const double One = Speed(RegionBytes, [&](size_t Call) {
            TGf16::MultiplyAdd(Factors[Call % Outputs], Ins[0], Outs[0], RegionBytes);
        });
        const double Many = Speed(RegionBytes * Outputs, [&](size_t Call) {
            TGf16::MultiplyAddMany(Ins[Call % Inputs], Factors.data(), Outs.data(), Outputs,
                                   RegionBytes);
        });
        const double Batch = Speed(RegionBytes * Outputs * Inputs, [&](size_t) {
            TGf16::MultiplyAddBatch(Ins.data(), Inputs, Factors.data(), Outs.data(), Outputs,
                                    RegionBytes);
        });
        const double Layout = Speed(RegionBytes, [&](size_t) {
            TGf16::ToKernelLayout(Ins[0], RegionBytes);
            TGf16::FromKernelLayout(Ins[0], RegionBytes);
        });
        Row(TGf16::KernelName(Kernel), One, Many, Batch, Layout);
    }
    TGf16::UseKernel(Chosen);
    std::printf("(in use unless chosen otherwise: %s; layout: into the kernels' layout and back)\n",
                TGf16::KernelName(Chosen));
    EncodeFile();

#ifdef PARVOX_GF_COMPLETE
    gf_t Field;
    if (gf_init_easy(&Field, 16) == 0 || !SameProducts(Field, Random)) {
        std::fprintf(stderr, "libgf-complete: not the same field\n");
        return 1;
    }
    const auto Library = [&](uint16_t Factor, uint8_t* From, uint8_t* To) {
        Field.multiply_region.w32(&Field, From, To, Factor, static_cast<int>(RegionBytes), 1);
    };
    const double One =
        Speed(RegionBytes, [&](size_t Call) { Library(Factors[Call % Outputs], Ins[0], Outs[0]); });
    const double Many = Speed(RegionBytes * Outputs, [&](size_t Call) {
        for (size_t Output = 0; Output < Outputs; ++Output)
            Library(Factors[Output], Ins[Call % Inputs], Outs[Output]);
    });
    Row("libgf-complete", One, Many, 0, 0);
    gf_free(&Field, 0);
#else
    std::printf("(libgf-complete not found at build time: install libgf-complete-dev and "
                "configure again to compare)\n");
#endif
    return 0;
}
