// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The folder that a split or join writes its outputs to. A run writes each
// output under a temporary name there, ".pvx" with the run's id and the
// output's number in hexadecimal, all of one short length, and gives it its
// final name only once its data is stored, never replacing a file that
// appeared under that name meanwhile: a run that is killed, or a medium that
// is pulled, leaves nothing under a final name that is not whole. While it
// lasts, a run holds a lock on a temporary of its own (its output 0); the
// temporaries of a run whose lock anyone can take are a dead run's, and the
// next run in the folder removes them. The checks of the folder that come
// before anything is written live here too: names, room, what may be replaced.
#pragma once

#include "classByteFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class TRunFolder {
public:
    // The checksum file's number among a run's outputs; pieces and the joined file count from 1.
    static constexpr uint64_t SumsNumber = 0xFFFF'FFFF'FFFF;

    // Opens Folder; a name that leads to no folder raises the system's error.
    explicit TRunFolder(const std::string& Folder);
    // Ends the run, if it began.
    ~TRunFolder();
    TRunFolder(const TRunFolder&) = delete;
    TRunFolder& operator=(const TRunFolder&) = delete;

    [[nodiscard]] const std::string& Name() const { return FolderName; }
    [[nodiscard]] int Fd() const { return Folder; }

    // Raises "File name too long" for Name, a file in this folder, when the
    // folder's file system takes no name that long.
    void CheckNameLength(const std::string& Name) const;
    // Calls Visit with the name of every entry of the folder.
    void ForEachEntry(const std::function<void(const std::string& Entry)>& Visit) const;
    // The room that a file of Size bytes takes here: whole blocks.
    [[nodiscard]] int64_t Footprint(int64_t Size) const;
    // Refuses outputs that need Needed bytes of room where the folder has
    // less, counting Freed bytes that the run frees before it writes:
    // Message with the room needed, the folder and the room there. Nothing is
    // refused where the file system does not tell its room, nor where it
    // shares blocks between files and holds Input, whose copy may take none.
    void CheckRoom(int64_t Needed, int64_t Freed, const TByteFile& Input,
                   const std::string& Message) const;
    // The file under Name, in this folder, that an output may replace, or
    // none where nothing is there. A folder is refused, and so is another
    // user's file when root runs on a file system that keeps owners: that
    // data is the other user's.
    [[nodiscard]] std::optional<TFileId> Replaceable(const std::string& Name) const;

    // The run begins to write here: it takes its lock, and removes what dead
    // runs left.
    void Begin();
    // The full temporary name of the run's output Number.
    [[nodiscard]] std::string TemporaryName(uint64_t Number) const;
    // Gives the output Number its final name Name. A file that is there by
    // then is never replaced, unless it is the one Earlier (from Replaceable):
    // the run fails with a message that names it.
    void Publish(uint64_t Number, const std::string& Name,
                 const std::optional<TFileId>& Earlier = std::nullopt);
    // The run has ended: its lock goes. What it left under temporary names is
    // the caller's to remove.
    void End() noexcept;

private:
    [[nodiscard]] std::string TemporaryEntry(uint32_t Run, uint64_t Number) const;
    void RemoveDeadTemporaries() const;
    // Gives Temporary the name Final where the file system knows no rename
    // that keeps a file there: a link, else a look right before a rename.
    void PublishWithoutNoReplace(const std::string& Temporary, const std::string& Final,
                                 const std::string& Name) const;
    // A file is under Final: the output replaces it if it is Earlier.
    void Replace(const std::string& Temporary, const std::string& Final, const std::string& Name,
                 const std::optional<TFileId>& Earlier) const;
    [[noreturn]] static void Appeared(const std::string& Name);

    std::string FolderName;
    int Folder = -1;
    uint32_t RunId = 0;
    // The run's lock file, open while the run lasts.
    int Lock = -1;
};
