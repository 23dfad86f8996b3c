// Probes shared by the engine tests: the message of a failing call, a log of
// the progress reports, and an unprivileged user for a forked child.
#pragma once

#include "classParvoxBase.h"

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <vector>

// The message of what Body raises, or "(no error)".
template <typename Call> std::string MessageOf(Call&& Body) {
    try {
        Body();
    } catch (const std::exception& Error) {
        return Error.what();
    }
    return "(no error)";
}

// Every fraction an engine reports, in order; a non-empty status text is a failure.
class TProgressLog {
public:
    explicit TProgressLog(TParvoxBase& Engine);
    // The engine's handler points at this log, so it stays where it is.
    TProgressLog(const TProgressLog&) = delete;
    TProgressLog& operator=(const TProgressLog&) = delete;

    std::vector<long double> Fractions;
};

// Done[i] / Total, computed as the engines compute their fractions.
[[nodiscard]] std::vector<long double> FractionsOf(std::initializer_list<int64_t> Done,
                                                   int32_t Total);

// Makes the calling (forked) process the user nobody; false when that fails.
[[nodiscard]] bool BecomeNobody();
