// The traditional ZIP encryption: three keys driven by the password and by
// every plain byte, checked against the entry's 12-byte header.
#include "engine.h"

uint32_t g_keys[3];

// 0xA9 is the copyright sign in the Windows ANSI code page.
const char g_defaultPassword[] = "Marshwind\xA9 kestrel umber, lanterns by a moor";

void AdvanceKeys(unsigned char c)
{
    g_keys[0] = g_crcTable[(g_keys[0] ^ c) & 0xFF] ^ (g_keys[0] >> 8);
    g_keys[1] += g_keys[0] & 0xFF;
    g_keys[1] = g_keys[1] * 134775813u + 1;
    g_keys[2] = g_crcTable[(g_keys[2] ^ (g_keys[1] >> 24)) & 0xFF] ^ (g_keys[2] >> 8);
}

unsigned char KeyStreamByte()
{
    unsigned t = (g_keys[2] & 0xFFFF) | 2;
    return (unsigned char)(((t * (t ^ 1)) >> 8) & 0xFF);
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
    for (unsigned i = 0; i < n; i++) {
        unsigned char p = (unsigned char)(buf[i] ^ KeyStreamByte());
        buf[i] = p;
        AdvanceKeys(p);
    }
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
