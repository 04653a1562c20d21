#include "app/UpdateSignature.h"

#include <sodium.h>

namespace velkin::UpdateSignature {

namespace {

std::optional<QByteArray> decoded(const QByteArray& base64, qsizetype size)
{
    auto result = QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() != size)
        return std::nullopt;
    return result.decoded;
}

} // namespace

QByteArray builtInPublicKey()
{
    return QByteArrayLiteral(VELKIN_UPDATE_PUBLIC_KEY);
}

bool verify(const QByteArray& file, const QByteArray& signatureBase64, const QByteArray& publicKeyBase64)
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        return false;
    const auto key = decoded(publicKeyBase64, crypto_sign_PUBLICKEYBYTES);
    const auto signature = decoded(signatureBase64, crypto_sign_BYTES);
    if (!key || !signature)
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature->constData()),
                                       reinterpret_cast<const unsigned char*>(file.constData()),
                                       static_cast<unsigned long long>(file.size()),
                                       reinterpret_cast<const unsigned char*>(key->constData()))
           == 0;
}

} // namespace velkin::UpdateSignature
