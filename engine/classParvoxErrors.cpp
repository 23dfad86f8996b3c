// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Messages of the input/output errors.
#include "classParvoxErrors.h"

#include <cstring>

EInOutError::EInOutError(int Code, const std::string& FileName, bool Refused)
    : EParvoxError(MessageFor(Code, FileName)), ErrorCode(Code), FileName(FileName),
      Refused(Refused) {}

std::string EInOutError::MessageFor(int Code, const std::string& FileName) {
    return MessageFor(Code) + FileLine(Code, FileName);
}

std::string EInOutError::FileLine(int Code, const std::string& FileName) {
    // The untranslated description, whatever the locale: the rest of the
    // message is in English too, and this one is safe on any thread.
    const char* Description = ::strerrordesc_np(Code);
    if (FileName.empty() || Description == nullptr || Code == 0)
        return {};
    return std::string(".\n") + Description + ": " + FileName;
}

std::string EInOutError::MessageFor(int Code) {
    switch (Code) {
    case 2:
        return "File not found";
    case 3:
        return "Invalid filename";
    case 4:
        return "Too many open files";
    case 5:
        return "File access denied";
    case 100:
        return "Read beyond end of file";
    case 101:
        return "Disk full";
    case 106:
        return "Invalid numeric input";
    default:
        return "I/O error " + std::to_string(Code);
    }
}
