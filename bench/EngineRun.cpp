// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// One run of an engine, as the benchmark's programs start it.
#include "EngineRun.h"

#include "classChecksum.h"
#include "classCompare.h"
#include "classJoin.h"
#include "classSplit.h"
#include "txt.h"

#include <iostream>

int EngineRun(const std::vector<std::string>& Args, const TProgressEvent& Handler,
              TProgressCounts* Counts) {
    LoadTexts();
    const auto Reports = [&Handler, Counts](TParvoxBase& Engine) {
        Engine.OnProgress = Handler;
        Engine.Counts = Counts;
    };
    const std::string& Mode = Args[0];
    if (Mode == "split") {
        TSplit Split;
        Reports(Split);
        const bool Check = Args.at(1) == "--check";
        Split.WriteChecksumFile = Check;
        Split.SetBaseFileName(Args.at(1 + Check));
        Split.SplitSize = std::stoi(Args.at(2 + Check));
        Split.OutputFolder = Args.size() > 3U + Check ? Args[3 + Check] : std::string();
        Split.Execute();
    } else if (Mode == "join") {
        TJoin Join;
        Reports(Join);
        Join.SetBaseFileName(Args.at(1));
        for (size_t At = 2; At < Args.size(); ++At) {
            if (Args[At] == "--from")
                Join.PieceFolders.push_back(Args.at(++At));
            else
                Join.OutputFolder = Args[At];
        }
        Join.Execute();
    } else if (Mode == "compare") {
        TCompare Compare;
        Reports(Compare);
        Compare.FileName1 = Args.at(1);
        Compare.FileName2 = Args.at(2);
        Compare.Execute();
        return Compare.CompareResult == CompareEqual ? 0 : 1;
    } else {
        TChecksum Checksum;
        Reports(Checksum);
        Checksum.FileName = Args.at(1);
        std::cout << Checksum.Execute() << '\n';
    }
    return 0;
}
