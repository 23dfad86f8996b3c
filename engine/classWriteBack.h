// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Carries a run's output to its medium as the run goes. The writeback of each
// transfer starts as soon as it is written, and the run waits for the oldest
// transfers whenever more than one transfer's size is not yet stored, so the
// progress follows the medium and no large backlog waits in memory; within
// that size, the writebacks of several small pieces run together. At the end
// one sync of the file system stores the rest with the file sizes, and
// reports any failure to store since the run began; once the outputs have
// their final names, a second one stores the names. Where only a sync of
// each file reaches the medium, each file is synced once its writing ends,
// and in between once per window of data at most, and the names by a sync
// of their folder.
#pragma once

#include <chrono>
#include <deque>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class TWriteBack {
public:
    TWriteBack() = default;
    TWriteBack(const TWriteBack&) = delete;
    TWriteBack& operator=(const TWriteBack&) = delete;
    ~TWriteBack() { Forget(); }

    // Begins the run on the file system of Fd, a file opened for writing,
    // before anything of the run is written; once per run. A device or a
    // pipe holds no data of its own: there is nothing to store for it.
    // Place (the outputs' folder) names the medium in the messages of
    // failures to store.
    void Begin(int Fd, const std::string& Place);
    [[nodiscard]] bool Begun() const { return FileSystem >= 0; }
    // Fd, the file Name, just wrote Length bytes at Start: starts their writeback, then waits
    // for the oldest ranges until no more than Window bytes of the run are
    // not yet stored, or only this range is; where each file is synced,
    // until only this file is pending, with at most 16 MiB not yet stored.
    // The ranges of one file come in order, its first at 0. Returns the time
    // spent in syncs of whole files:
    // each is a round trip to the medium whatever it stores, which says
    // nothing of how fast the transfers go.
    [[nodiscard]] std::chrono::microseconds Wrote(int Fd, const std::string& Name, off_t Start,
                                                  off_t Length, off_t Window);
    // Waits until the data of the run is stored with the file sizes: what
    // the transfers wrote and Also, further files of the run written apart
    // from them (the checksum file, the recovery files: each a handle and
    // its name in messages); raises EInOutError with the system's error of
    // any failure to store it.
    void Store(const std::vector<std::pair<int, std::string>>& Also = {});
    // Once the outputs have their final names in the folder Folder: stores
    // the names, then ends the run; raises as Store.
    void StoreNames(int Folder);
    // Ends a run that stops before Finish (it failed, or was stopped): waits,
    // without raising, until each range still pending is stored or has
    // failed to be, at most a window of data, so that none of them fails
    // later, within a later run; then ends the run.
    void Settle() noexcept;

private:
    // Ends the run without waiting.
    void Forget() noexcept;
    // Waits until the oldest pending range is stored.
    void StoreOldest();
    // Syncs the file system, or raises its failure to store.
    void SyncFileSystem() const;

    // A handle taken at the start of the run: the sync through it reports
    // every failure of the file system to store data since it was opened.
    int FileSystem = -1;
    // The ranges whose writeback runs while the run goes on, oldest first,
    // each through a handle of its own, since its file may be closed meanwhile;
    // where each file is synced, one range holds all that a file has pending.
    struct TRange {
        int Fd;
        off_t Start;
        off_t Length;
        std::string Name;
    };
    std::deque<TRange> Pending;
    // The bytes of the pending ranges.
    off_t Ahead = 0;
    // Set where a sync of the file system may not reach the medium.
    bool SyncsEachFile = false;
    std::string Medium;
};
