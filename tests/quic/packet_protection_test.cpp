#include <gtest/gtest.h>

#include "packet_header.h"
#include "packet_number.h"
#include "packet_opener.h"
#include "packet_protection.h"
#include "quic_builder.h"
#include "rfc_samples.h"

using namespace quillnet;
using namespace quillnet::quic;
using namespace quic_testing;
using namespace quic_samples;

namespace {

constexpr tls::CipherSuite kChaCha20Suite{0x1303, tls::Aead::kChaCha20Poly1305, tls::SuiteHash::kSha256};

tls::Secret secretOf(const char *hex)
{
    const Bytes bytes = FromHex(hex);
    tls::Secret secret;
    secret.size = static_cast<uint8_t>(copyBytes(secret.bytes, ViewOf(bytes)));
    return secret;
}

std::string hexOf(std::span<const uint8_t> bytes, size_t length)
{
    return ToHex(ByteView(bytes.data(), length));
}

class RfcSamples : public testing::TestWithParam<Samples> {
protected:
    const Version &version() const { return *FindVersion(GetParam().version); }

    // Opens a sample Initial packet with the keys of `secret`, checking its header on the way.
    void openInitial(const char *packetHex, const tls::Secret &secret, const char *headerHex, uint64_t number,
                     const Bytes &frames)
    {
        const Bytes packet = FromHex(packetHex);
        const auto header = ParseLongHeader(ViewOf(packet));
        ASSERT_TRUE(header);
        EXPECT_EQ(header->type, PacketType::kInitial);
        EXPECT_EQ(header->length, packet.size());
        PacketOpener opener;
        ASSERT_TRUE(opener.start(kInitialSuite, version(), secret));
        const auto opened = opener.open(ViewOf(packet), header->numberOffset, {headerBuffer, plaintextBuffer});
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->number, number);
        EXPECT_EQ(ToHex(opened->frames), ToHex(ViewOf(frames)));
        EXPECT_EQ(hexOf(headerBuffer, FromHex(headerHex).size()), ToHex(ViewOf(FromHex(headerHex))));

        // One flipped bit anywhere fails authentication.
        Bytes damaged = packet;
        damaged[damaged.size() / 2] ^= 0x01;
        PacketOpener again;
        ASSERT_TRUE(again.start(kInitialSuite, version(), secret));
        EXPECT_FALSE(again.open(ViewOf(damaged), header->numberOffset, {headerBuffer, plaintextBuffer}));
    }

    std::array<uint8_t, 256> headerBuffer{};
    std::array<uint8_t, 2048> plaintextBuffer{};
};

TEST_P(RfcSamples, InitialKeysComeFromTheClientsFirstDestination)
{
    const Samples &samples = GetParam();
    tls::Secret initial;
    const Bytes destination = FromHex(kDestination);
    ASSERT_TRUE(tls::HkdfExtract(tls::SuiteHash::kSha256,
                                 ByteView(version().initialSalt.data(), version().initialSalt.size()),
                                 ViewOf(destination), initial));
    EXPECT_EQ(ToHex(initial.view()), ToHex(ViewOf(FromHex(samples.initialSecret))));

    tls::Secret client;
    tls::Secret server;
    ASSERT_TRUE(DeriveInitialSecrets(version(), ViewOf(destination), client, server));
    EXPECT_EQ(ToHex(client.view()), ToHex(ViewOf(FromHex(samples.clientSecret))));
    EXPECT_EQ(ToHex(server.view()), ToHex(ViewOf(FromHex(samples.serverSecret))));

    PacketKeys keys;
    ASSERT_TRUE(DerivePacketKeys(kInitialSuite, version(), client, keys));
    EXPECT_EQ(hexOf(keys.key, 16), samples.clientKey);
    EXPECT_EQ(hexOf(keys.iv, 12), samples.clientIv);
    EXPECT_EQ(hexOf(keys.hp, 16), samples.clientHp);
    ASSERT_TRUE(DerivePacketKeys(kInitialSuite, version(), server, keys));
    EXPECT_EQ(hexOf(keys.key, 16), samples.serverKey);
    EXPECT_EQ(hexOf(keys.iv, 12), samples.serverIv);
    EXPECT_EQ(hexOf(keys.hp, 16), samples.serverHp);
}

TEST_P(RfcSamples, ClientInitialOpensByteForByte)
{
    Bytes frames = FromHex(kClientCryptoFrame);
    frames.resize(kClientPayloadLength, 0); // PADDING
    openInitial(GetParam().clientPacket, secretOf(GetParam().clientSecret), GetParam().clientHeader,
                kClientPacketNumber, frames);
}

TEST_P(RfcSamples, ServerInitialOpensByteForByte)
{
    openInitial(GetParam().serverPacket, secretOf(GetParam().serverSecret), GetParam().serverHeader,
                kServerPacketNumber, FromHex(kServerPayload));
}

TEST_P(RfcSamples, RetryIntegrityTagIsChecked)
{
    const Bytes retry = FromHex(GetParam().retry);
    const Bytes original = FromHex(kDestination);
    const auto header = ParseLongHeader(ViewOf(retry));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->type, PacketType::kRetry);
    EXPECT_EQ(ToHex(header->source), "f067a5502a4262b5");
    EXPECT_TRUE(RetryIsAuthentic(version(), ViewOf(original), ViewOf(retry)));

    Bytes otherOriginal = original;
    otherOriginal[0] ^= 1;
    EXPECT_FALSE(RetryIsAuthentic(version(), ViewOf(otherOriginal), ViewOf(retry)));
    Bytes damaged = retry;
    damaged[20] ^= 1; // in the token
    EXPECT_FALSE(RetryIsAuthentic(version(), ViewOf(original), ViewOf(damaged)));
    EXPECT_FALSE(RetryIsAuthentic(version(), ViewOf(original), ViewOf(retry).sub(0, 10)));
}

TEST_P(RfcSamples, ChaCha20ShortHeaderPacketOpens)
{
    const Samples &samples = GetParam();
    tls::Secret secret = secretOf(kChaChaSecret);
    PacketKeys keys;
    ASSERT_TRUE(DerivePacketKeys(kChaCha20Suite, version(), secret, keys));
    EXPECT_EQ(hexOf(keys.key, 32), ToHex(ViewOf(FromHex(samples.chaChaKey))));
    EXPECT_EQ(hexOf(keys.iv, 12), samples.chaChaIv);
    EXPECT_EQ(hexOf(keys.hp, 32), ToHex(ViewOf(FromHex(samples.chaChaHp))));

    const Bytes packet = FromHex(samples.chaChaPacket);
    constexpr size_t kNumberOffset = 1; // an empty Destination Connection ID
    HeaderProtection header;
    ASSERT_TRUE(header.start(tls::Aead::kChaCha20Poly1305, keys));
    const auto mask = header.mask(ViewOf(packet).sub(kNumberOffset + 4, kSampleLength));
    ASSERT_TRUE(mask);
    EXPECT_EQ(hexOf(*mask, kMaskLength), samples.chaChaMask);

    Bytes unprotected(packet.begin(), packet.begin() + 4);
    unprotected[0] ^= (*mask)[0] & 0x1f;
    for (size_t i = 0; i < 3; ++i)
        unprotected[kNumberOffset + i] ^= (*mask)[1 + i];
    EXPECT_EQ(ToHex(ViewOf(unprotected)), kChaChaHeader);
    EXPECT_EQ(DecodePacketNumber(kChaChaPacketNumber - 1, 0x00bff4, 24), kChaChaPacketNumber);

    PayloadProtection payload;
    ASSERT_TRUE(payload.start(tls::Aead::kChaCha20Poly1305, keys));
    std::array<uint8_t, 64> plaintext{};
    const auto opened = payload.open(kChaChaPacketNumber, ViewOf(unprotected), ViewOf(packet).sub(4), plaintext);
    ASSERT_TRUE(opened);
    EXPECT_EQ(ToHex(*opened), kChaChaPlaintext);

    // The secret after a key update.
    ASSERT_TRUE(NextPacketSecret(kChaCha20Suite, version(), secret));
    EXPECT_EQ(ToHex(secret.view()), ToHex(ViewOf(FromHex(samples.chaChaKu))));
}

INSTANTIATE_TEST_SUITE_P(Rfc9001AndRfc9369, RfcSamples, testing::Values(kVersion1Samples, kVersion2Samples),
                         [](const testing::TestParamInfo<Samples> &info) {
                             return info.param.version == kVersion1 ? "Version1" : "Version2";
                         });

TEST(PacketNumbers, AreRecoveredNearTheLargestSeen)
{
    // RFC 9000 appendix A.3.
    EXPECT_EQ(DecodePacketNumber(0xa82f30ea, 0x9b32, 16), 0xa82f9b32u);
    EXPECT_EQ(DecodePacketNumber(std::nullopt, 0x02, 8), 2u);
    // Past a wrap of the truncated number, and back before it.
    EXPECT_EQ(DecodePacketNumber(0x1fe, 0x01, 8), 0x201u);
    EXPECT_EQ(DecodePacketNumber(0x201, 0xff, 8), 0x1ffu);
    // Never past the largest number there is.
    EXPECT_EQ(DecodePacketNumber(kMaxPacketNumber - 1, 0x00, 8), kMaxPacketNumber - 255);
}

}
