// Encryption of server messages and of values kept in the registry.
//
// A request becomes the Base64 text of an encrypted packet (see DhPacket.h) under the
// request secret, carrying a fresh random nonce as its check value; a reply opens
// under the reply secret only when it carries that nonce back. Stored values carry
// the volume serial instead, so they read back only on the machine that wrote them.
#pragma once

#include "AltirenClient/KeySets.h"

#include <cstdint>
#include <string>

class MessageCoder {
public:
    // The first construction in the process sets up the crypto library and the key
    // sets.
    MessageCoder();
    virtual ~MessageCoder();

    // encrypt: text becomes the Base64 text of a request packet. Otherwise text, the
    // Base64 text of a reply packet, becomes its plain text.
    bool EncryptDecryptMessage(std::string& text, bool encrypt);
    // URL-escapes text in place.
    bool EscapeForURL(std::string& text);
    // The same for registry values, with the volume serial as check value. A value of
    // another machine is emptied.
    bool EncryptDecryptStoredValue(std::string& value, bool encrypt);

    // The first 32 bits of /etc/machine-id, else the filesystem id of "/", else 0.
    static uint32_t GetVolumeSerial();
    // Replaces the serial source (tests); null restores the system's.
    static void SetVolumeSerialSource(uint32_t (*source)());
    // The serial from these two places (the reading behind GetVolumeSerial).
    static uint32_t ReadVolumeSerial(const char* machineIdPath, const char* rootPath);

    // The nonce of the last encrypted message (0 before the first).
    uint32_t GetNonce() const { return m_nonce; }
    // The reason of the last failure.
    const std::string& GetLastErrorText() const { return m_lastError; }

private:
    void ReportError(const std::string& text, const char* method);
    // text becomes the Base64 text of its packet under that secret of the set.
    bool Seal(std::string& text, altiren::crypto::KeySetId set, bool second, uint32_t check,
              const char* method);
    // text, the Base64 text of a packet under the reply secret, becomes its plain text
    // when the packet carries the expected check value.
    bool Open(std::string& text, uint32_t expected, bool emptyOnMismatch, const char* method);

    uint32_t m_nonce = 0;
    std::string m_lastError;
};
