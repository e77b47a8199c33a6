// The encrypted packet of server messages and stored values (little-endian):
//
//   0  version 0x65, 0x00      8  cipher id (6 Rijndael)   14       filler (L bytes)
//   2  section 1, subsection 1 9  hash id (2 SHA-1)        14+L     initial counter block
//   4  total packet length     10 filler length L (111)    30+L     data length n
//                                                          34+L     data, CTR-encrypted
//                                                          34+L+n   check value, CTR-encrypted
//
// The key is the hash of the shared secret cut to the cipher's key size; CTR counts
// little-endian from the first byte of the counter block, whose own encryption is the
// first key-stream block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace altiren::crypto {

constexpr uint8_t kPacketVersion = 0x65;
constexpr uint8_t kSectionDh = 1;
constexpr uint8_t kSubEncrypted = 1;
constexpr uint8_t kCipherRijndael = 6;
constexpr uint8_t kHashSha1 = 2;
constexpr uint32_t kFillerLength = 111;
constexpr size_t kCounterBlockSize = 16;
// Everything but the data: 149 bytes.
constexpr size_t kPacketOverhead = 14 + kFillerLength + kCounterBlockSize + 4 + 4;

// Builds a packet of the data and check value under the secret into out (capacity
// out.size()); length receives the packet's size. On failure error holds the reason.
bool BuildDhPacket(const uint8_t* data, size_t n, uint32_t check,
                   const std::vector<uint8_t>& secret, uint8_t* out, size_t capacity,
                   size_t& length, std::string& error);

// Opens a packet of inLength received bytes. The data goes to out (capacity bytes);
// dataLength and check receive the data's length and the check value. A packet
// whose fields run past the received bytes is refused without reading past them.
bool OpenDhPacket(const uint8_t* in, size_t inLength, const std::vector<uint8_t>& secret,
                  uint8_t* out, size_t capacity, size_t& dataLength, uint32_t& check,
                  std::string& error);

// The Base64 text of a packet of text with its terminating zero (built in a buffer
// 200 bytes longer than the text).
bool SealText(const std::string& text, uint32_t check, const std::vector<uint8_t>& secret,
              std::string& encoded, std::string& error);

// Opens the Base64 text of a packet; text receives the data up to its first zero
// byte. text is changed only on success.
bool OpenText(const std::string& encoded, const std::vector<uint8_t>& secret, std::string& text,
              uint32_t& check, std::string& error);

} // namespace altiren::crypto
