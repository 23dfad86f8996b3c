// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// MD5 through libcrypto's digest interface.
#include "classMd5.h"

#include <new>
#include <openssl/evp.h>

TMd5::TMd5() : Context(EVP_MD_CTX_new()) {
    if (!Context || EVP_DigestInit_ex(Context.get(), EVP_md5(), nullptr) != 1)
        throw std::bad_alloc();
}

void TMd5::TFree::operator()(evp_md_ctx_st* Made) const {
    EVP_MD_CTX_free(Made);
}

void TMd5::Add(const void* Bytes, size_t Count) {
    EVP_DigestUpdate(Context.get(), Bytes, Count);
}

TMd5::TDigest TMd5::Final() {
    TDigest Digest{};
    unsigned int Size = 0;
    EVP_DigestFinal_ex(Context.get(), Digest.data(), &Size);
    EVP_DigestInit_ex(Context.get(), EVP_md5(), nullptr);
    return Digest;
}

TMd5::TDigest TMd5::Of(const void* Bytes, size_t Count) {
    TMd5 Md5;
    Md5.Add(Bytes, Count);
    return Md5.Final();
}
