#pragma once
// Downloads are trusted only when their Ed25519 signature, given in the feed,
// verifies with the public key built into the program.
#include <QByteArray>

namespace velkin::UpdateSignature {

// The public key the program was built with (base64 of 32 bytes); empty when
// the build named none, and then no download can be trusted.
QByteArray builtInPublicKey();

// True when `signatureBase64` is a valid Ed25519 signature of `file` under
// `publicKeyBase64`. Malformed keys and signatures simply do not verify.
bool verify(const QByteArray& file, const QByteArray& signatureBase64, const QByteArray& publicKeyBase64);

} // namespace velkin::UpdateSignature
