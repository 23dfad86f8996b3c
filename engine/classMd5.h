// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// MD5 digests, the checksum of every part of the recovery data: OpenSSL's
// libcrypto computes them, one running digest per object.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

struct evp_md_ctx_st;

class TMd5 {
public:
    using TDigest = std::array<uint8_t, 16>;

    TMd5();
    TMd5(TMd5&&) noexcept = default;
    TMd5& operator=(TMd5&&) noexcept = default;
    ~TMd5() = default;

    void Add(const void* Bytes, size_t Count);
    // The digest of everything added since the start or the last Final;
    // the next Add starts a new digest.
    [[nodiscard]] TDigest Final();

    [[nodiscard]] static TDigest Of(const void* Bytes, size_t Count);

private:
    struct TFree {
        void operator()(evp_md_ctx_st* Context) const;
    };
    std::unique_ptr<evp_md_ctx_st, TFree> Context;
};
