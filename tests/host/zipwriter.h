// A small ZIP writer for the host tests: makes the archives that no peer
// archiver makes on request (damaged, odd or hostile ones), record by record.
#ifndef PARVEK_ZIPWRITER_H
#define PARVEK_ZIPWRITER_H

#include <stdint.h>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

Bytes ToBytes(const std::string &text);
Bytes Deflate(const Bytes &data, int level = 6);
uint32_t Crc32(const Bytes &data);

constexpr uint16_t DosDate(int year, int month, int day)
{
    return (uint16_t)((year - 1980) << 9 | month << 5 | day);
}
constexpr uint16_t DosTime(int hour, int minute, int second)
{
    return (uint16_t)(hour << 11 | minute << 5 | second / 2);
}

enum class Descriptor { None, Signed, Unsigned };

struct ZipEntry {
    std::string name;
    Bytes data;                         // the content as extracted
    uint16_t method = 8;                // 8: deflated by zlib; any other: data as it is
    uint16_t time = DosTime(10, 0, 0);
    uint16_t date = DosDate(2023, 1, 15);
    const char *password = nullptr;    // encrypts with the traditional cipher
    Descriptor descriptor = Descriptor::None;
    bool streamed = false;              // CRC and compressed size 0 in the local header
    std::optional<Bytes> payload;       // the stored data (before encryption) in place of data's
    std::optional<uint32_t> crc, compressedSize, uncompressedSize;   // local header overrides
    std::string extra;
    std::optional<std::string> centralName;   // the central directory's copy of the name
};

// An entry with just a name, its content and a method.
ZipEntry Entry(const std::string &name, const Bytes &data, uint16_t method);

struct ZipWriter {
    Bytes bytes;
    Bytes central;
    unsigned count = 0;

    ZipWriter &Add(const ZipEntry &entry);
    ZipWriter &Raw(const Bytes &junk);
    ZipWriter &Raw(const std::string &junk) { return Raw(ToBytes(junk)); }
    // The central directory and the end record; returns the whole archive.
    Bytes Finish(const std::string &comment = "");
};

#endif
