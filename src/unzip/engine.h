// Internal state and operations of the extraction engine. Everything lives at
// module level: one run at a time, one thread.
#ifndef PARVEK_ENGINE_H
#define PARVEK_ENGINE_H

#include <windows.h>
#include <stdint.h>
#include "unzip.h"
#include "resstring.h"

#define ENGINE_PATH_SIZE   260
#define WINDOW_SIZE        32768u
#define WINDOW_ALLOC       32776u
#define CHUNK_SIZE         28672u
#define IOBUF_ALLOC        28692u
#define PROGRESS_UNIT      10240u
#define ENCRYPT_HEADER     12u

// ---- run (run.cpp) -------------------------------------------------------
extern int g_runActive;
extern ExtractOptions *g_options;
extern int g_testOnly;
extern char g_archivePath[ENGINE_PATH_SIZE + 4];
extern HFILE g_archive;
extern HFILE g_outFile;
extern char g_entryName[ENGINE_PATH_SIZE];
extern const char *g_password;
extern unsigned char *g_window;
extern unsigned char *g_inBuf;
extern unsigned char *g_outBuf;
extern uint32_t g_bytesRead;
extern uint32_t g_lastReported;

[[noreturn]] void AbortRun(ExtractStatus status);
void ShowEngineError(const char *text);
void ShowEngineMessage(UINT id, ...);
[[noreturn]] void FailWith(UINT id, ...);
[[noreturn]] void FailRead();
void CheckWrite(int result);
void ReportProgress(int force, uint32_t count);
int PumpMessages();
void AnnounceFile();
void ExtractArchive();

// Heap blocks of the run and of the Huffman tables; a separate unit so that
// tests can make an allocation fail.
void *EngineAlloc(size_t size);
void EngineFree(void *block);

// ---- walker (walk.cpp) ---------------------------------------------------
// The 26 bytes after a local header's signature, decoded field by field.
struct LocalHeader {
    uint16_t versionNeeded;
    uint16_t flags;
    uint16_t method;
    uint16_t modTime;
    uint16_t modDate;
    uint32_t crc32;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
};

extern LocalHeader g_localHeader;
extern int g_encrypted;
extern int g_hasDescriptor;
extern uint32_t g_csizeLeft;

void OpenArchive();
void WalkArchive();
const char *LeafOf(const char *path);
void OemLeafToAnsi(const char *src, char *dest, size_t destSize);
uint16_t ReadLE16(const unsigned char *p);
uint32_t ReadLE32(const unsigned char *p);

// ---- entry extraction and streams (extract.cpp) ---------------------------
extern unsigned char *g_inPtr;
extern unsigned g_inAvail;
extern unsigned char *g_outPtr;
extern unsigned g_outCount;
extern uint32_t g_crc;
extern char g_createPath[ENGINE_PATH_SIZE];
extern const uint32_t (&g_crcTable)[256];

void ExtractEntry();
unsigned FillInput();
void FlushOutput();
void PutWindowBytes(unsigned n);
void UpdateCrc32(const unsigned char *p, unsigned n);

// The decoder calls this for every input byte: keep the common case inline.
inline int NextInputByte(uint16_t *byte)
{
    if (g_inAvail == 0 && FillInput() == 0)
        return 0;
    *byte = *g_inPtr++;
    g_inAvail--;
    return 8;
}

inline void PutOutputByte(unsigned char b)
{
    *g_outPtr++ = b;
    if (++g_outCount == CHUNK_SIZE)
        FlushOutput();
}

// ---- decryption (crypt.cpp) ----------------------------------------------
extern uint32_t g_keys[3];
extern const char g_defaultPassword[];

void SeedKeys(const char *password);
void AdvanceKeys(unsigned char c);
unsigned char KeyStreamByte();
void DecryptBuffer(unsigned char *buf, unsigned n);
int CheckEncryptionHeader(const unsigned char *header);
int ReadEncryptionHeader();

// ---- Huffman tables (huft.cpp) -------------------------------------------
struct HuffmanEntry {
    uint8_t op;
    uint8_t bits;
    union {
        uint16_t value;
        HuffmanEntry *subTable;
    };
};

#define HUFT_END_OF_BLOCK 15
#define HUFT_LITERAL      16
#define HUFT_INVALID      99

int BuildHuffmanTable(const unsigned *lengths, unsigned count, unsigned simpleCount,
                      const uint16_t *baseValues, const uint16_t *extraBits,
                      HuffmanEntry **table, int *lookupBits);
void FreeHuffmanTable(HuffmanEntry *table);

// ---- Deflate decoder (inflate.cpp) ---------------------------------------
extern uint32_t g_bitBuffer;
extern unsigned g_bitCount;
extern unsigned g_windowPos;
extern uint16_t g_inputByte;

int InflateEntry();
// Frees the tables of a block that AbortRun cut short; for the run's clean-up.
void ReleaseInflateTables();

#endif
