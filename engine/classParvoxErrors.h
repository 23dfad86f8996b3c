// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The failures the engines raise: a plain message, or an input/output error
// that carries the system's error number, the message chosen by it and a
// line in the system's words that names the file; the end of a run that was
// asked to stop; and the system calls that a signal may interrupt, made
// again until they end.
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>

class EParvoxError : public std::runtime_error {
public:
    explicit EParvoxError(const std::string& Message) : std::runtime_error(Message) {}
};

class EInOutError : public EParvoxError {
public:
    // FileName is the file concerned, where the caller knows it. Refused
    // says that an output refused data written to it (a full medium, a file
    // larger than it takes).
    explicit EInOutError(int Code, const std::string& FileName = {}, bool Refused = false);

    // The system's error number (errno) that stopped the operation.
    int ErrorCode;
    std::string FileName;
    bool Refused;

    // "File not found" for 2, ..., "I/O error 13" for a number without a text of its own.
    [[nodiscard]] static std::string MessageFor(int Code);
    // MessageFor, and where the file is known a second line with the
    // system's own description and the file: "I/O error 28.\nNo space left
    // on device: /media/stick/clip.003", "File access denied.\nInput/output
    // error: /media/stick/film.mkv.003".
    [[nodiscard]] static std::string MessageFor(int Code, const std::string& FileName);
    // That second line with the full stop before it, or "" without a file.
    [[nodiscard]] static std::string FileLine(int Code, const std::string& FileName);
};

// A run that was asked to stop has ended, and removed what it wrote. Not a
// failure: nothing reports it to the user.
class EParvoxStopped : public std::runtime_error {
public:
    EParvoxStopped() : std::runtime_error("Stopped") {}
};

// Makes a system call again while a signal interrupts it: the call failed
// without doing anything, and a signal is no reason to fail the run.
template <typename TCall> auto Retried(TCall&& Call) {
    decltype(Call()) Result;
    do
        Result = Call();
    while (Result < 0 && errno == EINTR);
    return Result;
}
