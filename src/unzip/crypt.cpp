// The traditional ZIP encryption: three keys driven by the password and by
// every plain byte, checked against the entry's 12-byte header.
#include "engine.h"

uint32_t g_keys[3];

// 0xA9 is the copyright sign in the Windows ANSI code page.
const char g_defaultPassword[] = "Marshwind\xA9 kestrel umber, lanterns by a moor";

// On plain references so that the per-byte loop can keep the keys in
// registers instead of going through memory for every byte.
static inline void Advance(uint32_t &k0, uint32_t &k1, uint32_t &k2, unsigned char c)
{
    k0 = g_crcTable[(k0 ^ c) & 0xFF] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = g_crcTable[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
}

static inline unsigned char StreamByte(uint32_t k2)
{
    unsigned t = (k2 & 0xFFFF) | 2;
    return (unsigned char)(((t * (t ^ 1)) >> 8) & 0xFF);
}

void AdvanceKeys(unsigned char c)
{
    Advance(g_keys[0], g_keys[1], g_keys[2], c);
}

unsigned char KeyStreamByte()
{
    return StreamByte(g_keys[2]);
}

void SeedKeys(const char *password)
{
    g_keys[0] = 0x12345678u;
    g_keys[1] = 0x23456789u;
    g_keys[2] = 0x34567890u;
    for (const unsigned char *p = (const unsigned char *)password; *p; p++)
        AdvanceKeys(*p);
}

void DecryptBuffer(unsigned char *buf, unsigned n)
{
    uint32_t k0 = g_keys[0], k1 = g_keys[1], k2 = g_keys[2];
    for (unsigned i = 0; i < n; i++) {
        unsigned char p = (unsigned char)(buf[i] ^ StreamByte(k2));
        buf[i] = p;
        Advance(k0, k1, k2, p);
    }
    g_keys[0] = k0;
    g_keys[1] = k1;
    g_keys[2] = k2;
}

int CheckEncryptionHeader(const unsigned char *header)
{
    unsigned char plain[ENCRYPT_HEADER];
    SeedKeys(g_password);
    for (unsigned i = 0; i < ENCRYPT_HEADER; i++) {
        plain[i] = (unsigned char)(header[i] ^ KeyStreamByte());
        AdvanceKeys(plain[i]);
    }
    unsigned char expected = g_hasDescriptor ? (unsigned char)(g_localHeader.modTime >> 8)
                                             : (unsigned char)(g_localHeader.crc32 >> 24);
    return plain[ENCRYPT_HEADER - 1] == expected ? 0 : -1;
}

int ReadEncryptionHeader()
{
    unsigned char header[ENCRYPT_HEADER];
    if (_lread(g_archive, header, ENCRYPT_HEADER) != ENCRYPT_HEADER)
        FailRead();
    g_csizeLeft -= ENCRYPT_HEADER;
    return CheckEncryptionHeader(header) == 0;
}
